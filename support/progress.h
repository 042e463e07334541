// Long operations: status codes and the progress surface every Process function reports through.
#pragma once

#include <cstdint>

enum : int { LPROCESS_OK = 0, LPROCESS_STOPPED = 1, LPROCESS_FAILED = 2 };

// A window handle where the platform has windows (HWND on Windows), null elsewhere.
using LWindowHandle = void*;

class LWaitable;  // support/waitable.h

// The progress surface of a long operation. On Windows it is the modeless "LProgressDialog"
// dialog; in the headless build it is a progress line on standard error where Ctrl+C cancels.
// A Process function only ever talks to this interface.
class LProgressDialog {
public:
    explicit LProgressDialog(const char* title);
    virtual ~LProgressDialog();
    LProgressDialog(const LProgressDialog&) = delete;
    LProgressDialog& operator=(const LProgressDialog&) = delete;

    // Opens the surface, runs the process body to its end and closes the surface again.
    bool Run(LWindowHandle owner);

    // True when the process must stop (the user cancelled).
    virtual bool PumpMessages();
    // Line 0: what is being done; line 1: the item. Other lines are ignored.
    virtual void SetText(const char* text, int line);
    // fraction 0.0 to 1.0.
    virtual void SetProgress(double fraction);
    // Sleeps while staying responsive: 0, or LPROCESS_STOPPED when cancelled.
    virtual int WaitTimed(uint32_t ms);
    // 0 when the object was signalled, LPROCESS_STOPPED when cancelled, LPROCESS_FAILED on time-out.
    virtual int WaitForObject(LWaitable& object, uint32_t ms);
    // An error the user must see ("Error" caption, warning icon on Windows; standard error headless).
    virtual void ShowError(const char* text);

    LWindowHandle GetWindow() const { return window_; }
    const char* GetTitle() const { return title_; }

protected:
    // The process body; returns true when it ran.
    virtual bool ProcessBody() = 0;

    LWindowHandle window_ = nullptr;
    const char* title_;
};

// Runs Process(dialog, data) for one data record type; the caller reads status afterwards.
template <class T>
class LProgressProcess : public LProgressDialog {
public:
    LProgressProcess(const char* title, T* record) : LProgressDialog(title), data(record) {}
    int status = LPROCESS_FAILED;
    T* data;

protected:
    bool ProcessBody() override {
        status = Process(this, data);
        return true;
    }
};
