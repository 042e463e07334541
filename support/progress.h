// Long operations: status codes and the progress surface every Process function reports through.
#pragma once

#include <atomic>
#include <cstdint>

#include "support/processstatus.h"

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
    // 0 when the object was signalled, LPROCESS_STOPPED when cancelled, LPROCESS_FAILED on
    // time-out.
    virtual int WaitForObject(LWaitable& object, uint32_t ms);
    // An error the user must see ("Error" caption, warning icon on Windows; standard error
    // headless).
    virtual void ShowError(const char* text);
    // Asks the running process to stop as the Cancel button (or Ctrl+C) does; any thread may call.
    virtual void RequestStop();
    // A batch that runs several items at once: that many rows below the lines, each with a
    // text and a bar (0 takes them away), and one row's text and fraction. The headless line
    // shows the lines only.
    void SetRows(int count);
    void SetRow(int row, const char* text, double fraction);

    // Null while no surface is open or after a cancel (headless: a non-null token while open).
    LWindowHandle GetWindow() const { return window_; }
    const char* GetTitle() const { return title_; }

  protected:
    // The process body; returns true when it ran.
    virtual bool ProcessBody() = 0;
    // Windows: every dialog message the base does not handle itself; 0 means not handled.
    virtual intptr_t DialogProc(uint32_t message, uintptr_t wParam, intptr_t lParam) { return 0; }

    LWindowHandle window_ = nullptr;
    const char* title_;

  private:
    friend struct LProgressDialogAccess;
    // Headless surface state: stop request, shown percent and text, bar drawn on the line.
    std::atomic<bool> stop_{false};
    int percent_ = -1;
    bool barShown_ = false;
    char text_[2][260] = {};
};

// Runs one long operation, Body(dialog, data), on its data record; the caller reads status
// afterwards.
template <class T, int (*Body)(LProgressDialog*, T*)>
class LProgressProcess : public LProgressDialog {
  public:
    LProgressProcess(const char* title, T* record) : LProgressDialog(title), data(record) {}
    int status = LPROCESS_FAILED;
    T* data;

  protected:
    bool ProcessBody() override {
        status = Body(this, data);
        return true;
    }
};
