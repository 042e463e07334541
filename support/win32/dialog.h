// Dialog framework (Windows only): one LDialog object drives each dialog built from a template.
#pragma once

#include <windows.h>
// windows.h first: the common controls header depends on it.
#include <commctrl.h>

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

// Modifier bits of a combined key code (virtual-key code | modifiers).
enum : uint32_t { LKEY_ALT = 0x10000, LKEY_CTRL = 0x20000, LKEY_SHIFT = 0x40000 };

// One accelerator: a combined key code and the command it raises.
struct LAccelerator {
    uint32_t key;
    uint16_t command;
};

// One list-view column; a table ends with a null title. A negative width takes whatever client
// width the earlier columns left.
struct LListColumn {
    const char* title;
    int width;
    int format;  // LVCFMT_LEFT...
};

// One toolbar button. image < 0 names the program's bitmap resource -image; image >= 0 indexes
// the common controls' standard small image set. Style TBSTYLE_SEP makes a separator.
struct LToolbarButton {
    int command;
    int image;
    const char* label;    // text under the image, or null
    const char* tooltip;  // tooltip text, or null/empty
    BYTE style;
};

class LDialog {
  public:
    LDialog() = default;
    virtual ~LDialog() = default;
    LDialog(const LDialog&) = delete;
    LDialog& operator=(const LDialog&) = delete;

    virtual void InitDialog() {}
    // true: the dialog may close with result 1.
    virtual bool CmOk() { return true; }
    // true: the dialog may close with result 2.
    virtual bool CmCancel() { return true; }
    virtual void CmHelp() {}
    virtual void EnableControls() {}
    virtual void EvCommand(int id, int code) {}
    virtual void DestroyDialog() {}
    // Modal close: DestroyDialog, detach, end the modal dialog with the result.
    virtual void Close(INT_PTR result);
    // Returns whether the message was handled; a notification result goes through
    // SetMessageResult.
    virtual bool WindowProc(UINT msg, WPARAM wp, LPARAM lp);
    virtual bool EvKeyDown(uint32_t key) { return false; }
    virtual bool EvKeyUp(uint32_t key) { return false; }
    // Offered every message of the modeless loop first; true consumes it.
    virtual bool MessageFilter(MSG& msg);

    HWND GetHandle() const { return hwnd_; }
    HWND GetItem(int id) const { return GetDlgItem(hwnd_, id); }

    // Runs.
    static bool DoModal(const char* templateName, HWND owner, LDialog* dialog);
    // false when already open or the dialog cannot be created; otherwise runs until the window is
    // gone and returns true.
    bool RunModeless(HWND owner, const char* templateName);
    // Creates the modeless window without running a loop (the caller runs its own).
    bool CreateModeless(HWND owner, const char* templateName);
    // Modeless close: re-enable the parent, if any, and destroy the window.
    void CloseModeless();
    // The message loop of a modeless dialog until its window is gone.
    void RunMessageLoop();
    // Called by RunMessageLoop before it waits for the next message: nothing else of the
    // thread is running then.
    virtual void EvIdle() {}

    // Looks the key up in the table; the first exact match calls EvCommand(command, 0) and
    // consumes the key.
    bool MatchAccelerator(uint32_t key, const LAccelerator* table, size_t count);
    // The combined key code of a key message (virtual key | LKEY_* of the modifiers held down).
    static uint32_t CombinedKey(WPARAM vk);

    // Result of the message being handled (DWLP_MSGRESULT).
    void SetMessageResult(LRESULT result);

    // Control helpers, all by control id.
    void EnableControl(int id, bool enable);
    void EnableControlRange(int first, int last, bool enable);
    void EnableControlList(const int* ids, bool enable);  // zero-ended
    // Text of a control, at most 259 characters; empty when it has none.
    void GetControlText(int id, char* buffer, int size = 260);
    void MoveControlDialogUnits(int id, RECT rect);
    void MoveControlPixels(int id, int x, int y, int width, int height);
    void FillCombo(int id, const char* const* strings);  // zero-ended, reset first
    // Zero-ended icon resource ids, at size pixels square (0: the small icon size).
    void SetListIcons(int id, const int* iconIds, int size = 0);
    void InsertListColumns(int id, const LListColumn* columns);
    // Widens one column so that all columns fill the client width, never below minWidth.
    void FitListColumn(int id, int column, int minWidth);
    // A tooltip watches its control's every message, which costs a lookup each (a server call
    // under Wine); a relayed one is told only of the mouse messages this window's message loop
    // takes for the control (for a list that gets thousands of messages as it fills).
    void AddTooltip(int id, const char* text, bool relayed = false);
    void UpdateTooltip(int id, const char* text);
    // The toolbar (replacing one made before), its own images at imageSize pixels square from
    // the resource ids plus idOffset.
    HWND CreateToolbar(const LToolbarButton* buttons, int count, int imageSize = 16,
                       int idOffset = 0, HFONT font = nullptr);
    static void EnableMenuItem(HMENU menu, int id, bool enable);
    static void CheckMenuItem(HMENU menu, int id, bool check);

    // WinHelp on the program's help file ("tamber.hlp" beside the executable).
    static bool ShowHelp(HWND window, UINT command, ULONG_PTR data);
    static bool ShowHelpContext(HWND window, int context) {
        return ShowHelp(window, HELP_CONTEXT, static_cast<ULONG_PTR>(context));
    }

    // The common dialog procedure of every template dialog and page.
    static INT_PTR CALLBACK DialogProc(HWND window, UINT msg, WPARAM wp, LPARAM lp);

  protected:
    HWND hwnd_ = nullptr;
    HWND tooltip_ = nullptr;
    std::vector<HWND> relayedTools_;  // controls whose mouse messages go to the tooltip
    HWND toolbar_ = nullptr;
    bool modeless_ = false;
    // True only while RunMessageLoop waits for the next message: a message sent by another
    // thread or process that arrives now interrupts no other work of this thread (one that
    // arrives inside a modal loop, a message box or a progress pump finds it false).
    bool waitingForMessage_ = false;

  private:
    void Attach(HWND window);
    void Detach();
    HWND EnsureTooltip();
};

// A page of a property sheet: the sheet owns OK and Cancel; OK runs each page's CmOk.
class LPropertyPage : public LDialog {
  public:
    bool WindowProc(UINT msg, WPARAM wp, LPARAM lp) override;
};

// A page of a wizard; the buttons flags (PSWIZB_*) are set whenever the page becomes active.
class LWizardPage : public LPropertyPage {
  public:
    explicit LWizardPage(DWORD buttons = PSWIZB_NEXT) : wizardButtons(buttons) {}
    bool WindowProc(UINT msg, WPARAM wp, LPARAM lp) override;
    DWORD wizardButtons;
};

// One page of a sheet or wizard: its template, its object, and (wizard) header texts.
struct LSheetPage {
    const char* templateName;
    LPropertyPage* page;
    const char* headerTitle = nullptr;
    const char* headerSubtitle = nullptr;
};

// A modal property sheet without Apply button; true when it ended with OK.
bool LPropertySheetRun(HWND owner, const LSheetPage* pages, int count, const char* caption,
                       int iconId, int startPage);
// A modal wizard; true when it ended with Finish.
bool LWizardRun(HWND owner, const LSheetPage* pages, int count, const char* caption);

// The module that holds the templates (the executable).
HINSTANCE LDialogInstance();

// Window and control texts in UTF-8, through the wide API (so that any file name shows).
std::string LWindowText(HWND window);
void LSetWindowText(HWND window, const char* utf8);
void LSetItemText(HWND dialog, int id, const char* utf8);
// MessageBoxW with UTF-8 texts (caption null: "Error"); the button pressed.
int LMessageBox(HWND owner, const char* text, const char* caption, UINT type);
// Adds a text to a combo box's list; its index.
int LComboAddText(HWND combo, const char* utf8);
