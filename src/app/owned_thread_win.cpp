#include "app/owned_thread_win.h"

#include <memory>

namespace corvella {

namespace {

DWORD WINAPI RunWork(void* work) {
    const std::unique_ptr<std::function<void()>> owned(static_cast<std::function<void()>*>(work));
    (*owned)();
    return 0;
}

}  // namespace

bool OwnedThread::Start(std::function<void()> work, int priority) {
    Join();
    auto owned = std::make_unique<std::function<void()>>(std::move(work));
    handle_.Reset(CreateThread(nullptr, 0, RunWork, owned.get(), CREATE_SUSPENDED, nullptr));
    if (!handle_) return false;
    owned.release();  // the thread's now
    SetThreadPriority(handle_.get(), priority);
    ResumeThread(handle_.get());
    return true;
}

void OwnedThread::Join() {
    if (!handle_) return;
    WaitForSingleObject(handle_.get(), INFINITE);
    handle_.Close();
}

}  // namespace corvella
