// A counting semaphore that may also be signalled from a signal handler
// (sem_post is async-signal-safe).
#pragma once

#include <semaphore.h>

class Semaphore {
 public:
  Semaphore() { sem_init(&sem_, 0, 0); }
  ~Semaphore() { sem_destroy(&sem_); }
  Semaphore(const Semaphore&) = delete;
  Semaphore& operator=(const Semaphore&) = delete;

  void signal() { sem_post(&sem_); }

  // Waits for one signal, through interruptions by signal handlers.
  void wait() {
    while (sem_wait(&sem_) != 0) {
    }
  }

 private:
  sem_t sem_;
};
