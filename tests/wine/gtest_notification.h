// GoogleTest's thread start-up helper, made with Win32 events.
//
// mingw's win32 thread model has no std::mutex or std::condition_variable,
// which GoogleTest's own Notification needs; everything else in GoogleTest
// locks with Win32 primitives on Windows.  This header is included ahead of
// every GoogleTest source (see cmake/tests-wine.cmake).
#pragma once

#include <windows.h>

namespace testing {
namespace internal {

class Notification {
public:
    Notification() : event_(CreateEventA(nullptr, TRUE, FALSE, nullptr)) {}
    ~Notification() { CloseHandle(event_); }
    Notification(const Notification&) = delete;
    Notification& operator=(const Notification&) = delete;
    void Notify() { SetEvent(event_); }
    void WaitForNotification() { WaitForSingleObject(event_, INFINITE); }

private:
    HANDLE event_;
};

}  // namespace internal
}  // namespace testing
