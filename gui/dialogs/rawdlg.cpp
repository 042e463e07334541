// LRawSettingsDialog: the "LRawDlg" dialog editing one raw or VOX settings record.
#include <cstdlib>

#include "gui/dialogs/dialogs.h"
#include "support/file.h"
#include "support/win32/dialog.h"

namespace {

// The codec names, in the order of the codec numbers.
const char* const kRawCodecNames[] = {"Dialogic ADPCM",  "G711 uLaw",      "G711 aLaw",
                                      "16 bit PCM (LE)", "8 bit unsigned", "8 bit signed",
                                      "16 bit PCM (BE)", nullptr};

constexpr int kCodec = 101, kRate = 102, kChannels = 103;
constexpr int kHelpContext = 941;

class LRawSettingsDialog : public LDialog {
  public:
    explicit LRawSettingsDialog(LRawSettings& settings) : settings_(settings) {}

    void InitDialog() override {
        FillCombo(kCodec, kRawCodecNames);
        SendMessageA(GetItem(kCodec), CB_SETCURSEL, settings_.codec, 0);
        static const char* const rates[] = {"6000",  "8000",   "11025", "16000", "22050",
                                            "32000", "44100",  "48000", "64000", "88200",
                                            "96000", "196000", nullptr};
        FillCombo(kRate, rates);
        char text[16];
        wsprintfA(text, "%u", static_cast<unsigned>(settings_.sampleRate));
        SetDlgItemTextA(hwnd_, kRate, text);
        static const char* const channels[] = {"1 - Mono", "2 - Stereo", nullptr};
        FillCombo(kChannels, channels);
        const int channel = settings_.channels >= 2 ? 1 : 0;
        SendMessageA(GetItem(kChannels), CB_SETCURSEL, static_cast<WPARAM>(channel), 0);
    }

    bool CmOk() override {
        const auto codec = SendMessageA(GetItem(kCodec), CB_GETCURSEL, 0, 0);
        char text[LMAX_PATH];
        GetControlText(kRate, text);
        const long rate = std::strtol(text, nullptr, 10);
        if (rate < 6000 || rate > 196000) {
            MessageBoxA(hwnd_, "Please enter a sample rate between 6000 and 196000.", nullptr,
                        MB_OK | MB_ICONERROR);
            return false;
        }
        const auto channels = SendMessageA(GetItem(kChannels), CB_GETCURSEL, 0, 0);
        settings_.codec = codec < 0 ? 0 : static_cast<uint32_t>(codec);
        settings_.sampleRate = static_cast<uint32_t>(rate);
        settings_.channels = static_cast<uint8_t>(channels < 0 ? 1 : channels + 1);
        settings_.Store();
        return true;
    }

    void CmHelp() override { ShowHelpContext(hwnd_, kHelpContext); }

  private:
    LRawSettings& settings_;
};

}  // namespace

bool LSettingsDialogRun(HWND owner, LRawSettings& settings) {
    LRawSettingsDialog dialog(settings);
    return LDialog::DoModal("LRawDlg", owner, &dialog);
}
