// The thread-end slot on POSIX: a thread key. The C library destroys a thread's thread_local
// objects first and calls the key destructors after them.
#include <pthread.h>

#include <cstdio>
#include <cstdlib>

#include "platform/ThreadEndSlot.h"

namespace Platform {

CThreadEndSlot::CThreadEndSlot(Cleanup cleanup) : m_key(0), m_cleanup(cleanup) {
    pthread_key_t key;
    if (pthread_key_create(&key, cleanup) != 0) {
        // Only when the process has used up its keys; nothing here can work without one.
        std::fputs("quorvel: no thread key left for the message queues\n", stderr);
        std::abort();
    }
    m_key = key;
}

void* CThreadEndSlot::Get() const {
    return pthread_getspecific(static_cast<pthread_key_t>(m_key));
}

void CThreadEndSlot::Set(void* value) {
    pthread_setspecific(static_cast<pthread_key_t>(m_key), value);
}

}  // namespace Platform
