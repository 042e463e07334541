// The encoder settings dialogs: MP3, Ogg Vorbis, AAC / M4A, FLAC and Opus.
#include <cstdio>
#include <variant>

#include "gui/dialogs/dialogs.h"
#include "store/settings.h"
#include "support/file.h"
#include "support/win32/dialog.h"

namespace {

const char* const kMp3BitRates[] = {"8",   "16",  "24",  "32",  "40",   "48",  "56",
                                    "64",  "80",  "96",  "112", "128",  "144", "160",
                                    "192", "224", "256", "320", nullptr};

// Dialog helpers shared by the four dialogs.
class LEncoderDialog : public LDialog {
  protected:
    bool Checked(int id) const { return IsDlgButtonChecked(hwnd_, id) == BST_CHECKED; }
    void Check(int id, bool on) { CheckDlgButton(hwnd_, id, on ? BST_CHECKED : BST_UNCHECKED); }
    int Selected(int id) const {
        LRESULT i = SendDlgItemMessageA(hwnd_, id, CB_GETCURSEL, 0, 0);
        return i < 0 ? 0 : int(i);
    }
    void Select(int id, int index) {
        SendDlgItemMessageA(hwnd_, id, CB_SETCURSEL, WPARAM(index), 0);
    }
    void SetNumber(int id, long value) {
        char text[24];
        std::snprintf(text, sizeof text, "%ld", value);
        SetDlgItemTextA(hwnd_, id, text);
    }
    // A number typed into an editable list, read as the settings store reads integers.
    int32_t Number(int id, int32_t emptyValue) {
        char text[LMAX_PATH];
        GetControlText(id, text);
        return SettingsParseInt(text, emptyValue);
    }
    void EvCommand(int id, int code) override {
        if (id == restoreId_ && code == BN_CLICKED) RestoreDefaults();
    }
    virtual void RestoreDefaults() = 0;
    int restoreId_ = 0;
};

class LMP3EncodeDlg : public LEncoderDialog {
  public:
    explicit LMP3EncodeDlg(LMP3EncodeSettings& s) : s_(s) { restoreId_ = 110; }

    void InitDialog() override {
        static const char* const modes[] = {"Stereo", "Joint", "Force", "Mono", nullptr};
        static const char* const qualities[] = {"0 (Highest)", "1", "2", "3",          "4",    "5",
                                                "6",           "7", "8", "9 (Lowest)", nullptr};
        FillCombo(101, modes);
        FillCombo(103, kMp3BitRates);
        FillCombo(106, kMp3BitRates);
        FillCombo(107, kMp3BitRates);
        FillCombo(108, qualities);
        Check(102, s_.constantBitRate);
        Check(105, !s_.constantBitRate);
        SetNumber(103, s_.cbrBitRate);
        Check(104, s_.highQuality);
        SetNumber(106, s_.vbrMinBitRate);
        SetNumber(107, s_.vbrMaxBitRate);
        Select(108, s_.vbrQuality);
        Select(101, s_.channelMode);
        Check(109, s_.errorProtection);
    }
    void EnableControls() override {
        EnableControlRange(103, 104, Checked(102));
        EnableControlRange(106, 108, Checked(105));
    }
    void RestoreDefaults() override {
        Check(102, true);
        Check(105, false);
        SetDlgItemTextA(hwnd_, 103, "128");
        Check(104, true);
        SetDlgItemTextA(hwnd_, 106, "32");
        SetDlgItemTextA(hwnd_, 107, "128");
        Select(108, 4);
        Check(109, false);
        Select(101, 1);
    }
    bool CmOk() override {
        s_.constantBitRate = Checked(102);
        s_.cbrBitRate = uint16_t(Number(103, s_.cbrBitRate));
        s_.highQuality = Checked(104);
        s_.vbrMinBitRate = uint16_t(Number(106, s_.vbrMinBitRate));
        s_.vbrMaxBitRate = uint16_t(Number(107, s_.vbrMaxBitRate));
        s_.vbrQuality = uint8_t(Selected(108));
        s_.errorProtection = Checked(109);
        s_.channelMode = uint8_t(Selected(101));
        s_.Store();
        return true;
    }

  private:
    LMP3EncodeSettings& s_;
};

class LOggEncodeDlg : public LEncoderDialog {
  public:
    explicit LOggEncodeDlg(LOggEncodeSettings& s) : s_(s) { restoreId_ = 111; }

    void InitDialog() override {
        static const char* const qualities[] = {
            "0 (Lowest)", "1", "2", "3", "4", "5", "6", "7", "8", "9", "10 (Highest)", nullptr};
        static const char* const rates[] = {"32",  "40",  "48",  "56",  "64",  "80",  "96",
                                            "112", "128", "144", "160", "192", "224", nullptr};
        static const char* const channels[] = {"Mono", "Stereo", nullptr};
        FillCombo(108, qualities);
        FillCombo(106, rates);
        FillCombo(107, rates);
        FillCombo(110, channels);
        Check(102, s_.quality);
        Check(105, !s_.quality);
        Select(108, s_.vbrQuality);
        SetNumber(106, s_.vbrMinBitRate);
        SetNumber(107, s_.vbrMaxBitRate);
        Select(110, s_.channels >= 2 ? 1 : 0);
        Check(104, s_.stripComments);
    }
    void EnableControls() override {
        EnableControl(108, Checked(102));
        EnableControlRange(106, 107, Checked(105));
    }
    void RestoreDefaults() override {
        Check(102, true);
        Check(105, false);
        Select(108, 4);
        SetDlgItemTextA(hwnd_, 106, "96");
        SetDlgItemTextA(hwnd_, 107, "128");
        Select(110, 1);
    }
    bool CmOk() override {
        s_.quality = Checked(102);
        s_.vbrQuality = uint8_t(Selected(108));
        s_.vbrMinBitRate = uint16_t(Number(106, s_.vbrMinBitRate));
        s_.vbrMaxBitRate = uint16_t(Number(107, s_.vbrMaxBitRate));
        s_.channels = uint8_t(Selected(110) + 1);
        s_.stripComments = Checked(104);
        s_.Store();
        return true;
    }

  private:
    LOggEncodeSettings& s_;
};

class LAACEncodeDlg : public LEncoderDialog {
  public:
    explicit LAACEncodeDlg(LAACEncodeSettings& s) : s_(s) { restoreId_ = 111; }

    void InitDialog() override {
        static const char* const rates[] = {"16",  "24",  "32",  "40",  "48",  "56",
                                            "64",  "80",  "96",  "112", "128", "144",
                                            "160", "192", "224", "256", "320", nullptr};
        static const char* const qualities[] = {"10",  "50",  "100", "150", "200", "250",
                                                "300", "350", "400", "450", "500", nullptr};
        FillCombo(103, rates);
        FillCombo(108, qualities);
        Check(102, s_.averageBitRate);
        Check(105, !s_.averageBitRate);
        SetNumber(103, s_.abrBitRate);
        SetNumber(108, s_.vbrQuality);
        Check(106, s_.forceMPEG2);
        Check(107, s_.disableTNS);
    }
    void EnableControls() override {
        EnableControl(103, Checked(102));
        EnableControl(108, Checked(105));
    }
    void RestoreDefaults() override {
        Check(102, false);
        Check(105, true);
        SetDlgItemTextA(hwnd_, 103, "128");
        Select(108, 2);
        Check(106, false);
        Check(107, false);
    }
    bool CmOk() override {
        s_.averageBitRate = Checked(102);
        s_.abrBitRate = uint16_t(Number(103, s_.abrBitRate));
        int32_t quality = Number(108, s_.vbrQuality);
        s_.vbrQuality = uint16_t(quality == 0 ? 100 : quality);
        s_.forceMPEG2 = Checked(106);
        s_.disableTNS = Checked(107);
        s_.Store();
        return true;
    }

  private:
    LAACEncodeSettings& s_;
};

constexpr const char* kSameAsSource = "Same as source";

class LFlacEncodeDlg : public LEncoderDialog {
  public:
    explicit LFlacEncodeDlg(LFlacEncodeSettings& s) : s_(s) { restoreId_ = 104; }

    void InitDialog() override {
        static const char* const levels[] = {"0 (fastest)", "1", "2", "3",        "4",
                                             "5",           "6", "7", "8 (best)", nullptr};
        static const char* const rates[] = {kSameAsSource, "6000",  "8000",   "11025", "16000",
                                            "22050",       "32000", "44100",  "48000", "64000",
                                            "88200",       "96000", "196000", nullptr};
        static const char* const channels[] = {kSameAsSource, "Mono", "Stereo", nullptr};
        FillCombo(101, levels);
        FillCombo(102, rates);
        FillCombo(103, channels);
        Select(101, s_.compression);
        if (s_.sampleRate == 0)
            SetDlgItemTextA(hwnd_, 102, kSameAsSource);
        else
            SetNumber(102, long(s_.sampleRate));
        Select(103, s_.channels >= 2 ? 2 : s_.channels);
    }
    void RestoreDefaults() override {
        Select(101, 4);
        SetDlgItemTextA(hwnd_, 102, kSameAsSource);
        Select(103, 0);
    }
    bool CmOk() override {
        s_.compression = uint8_t(Selected(101));
        // "Same as source", an empty box or text that is no number: the source's rate (0).
        int32_t rate = Number(102, 0);
        s_.sampleRate = uint32_t(rate < 0 ? 0 : rate);
        s_.channels = uint8_t(Selected(103));
        s_.Store();
        return true;
    }

  private:
    LFlacEncodeSettings& s_;
};

class LOpusEncodeDlg : public LEncoderDialog {
  public:
    explicit LOpusEncodeDlg(LOpusEncodeSettings& s) : s_(s) { restoreId_ = 103; }

    void InitDialog() override {
        static const char* const rates[] = {"6",  "8",  "12",  "16",  "24",  "32",  "48",  "64",
                                            "80", "96", "112", "128", "160", "192", "256", nullptr};
        static const char* const tunings[] = {"Automatic", "Speech", "Music", nullptr};
        FillCombo(101, rates);
        FillCombo(102, tunings);
        SetNumber(101, s_.bitRate);
        Select(102, s_.tuning);
    }
    void RestoreDefaults() override {
        SetDlgItemTextA(hwnd_, 101, "96");
        Select(102, 0);
    }
    bool CmOk() override {
        // A typed bitrate outside what the encoder takes is brought to its nearest end.
        const int32_t kbps = Number(101, s_.bitRate);
        s_.bitRate = uint16_t(kbps < 6 ? 6 : kbps > 256 ? 256 : kbps);
        s_.tuning = uint8_t(Selected(102));
        s_.Store();
        return true;
    }

  private:
    LOpusEncodeSettings& s_;
};

}  // namespace

bool LSettingsDialogRun(HWND owner, LMP3EncodeSettings& settings) {
    LMP3EncodeDlg dlg(settings);
    return LDialog::DoModal("LMp3EncodeDlg", owner, &dlg);
}
bool LSettingsDialogRun(HWND owner, LOggEncodeSettings& settings) {
    LOggEncodeDlg dlg(settings);
    return LDialog::DoModal("OggEncodeDlg", owner, &dlg);
}
bool LSettingsDialogRun(HWND owner, LAACEncodeSettings& settings) {
    LAACEncodeDlg dlg(settings);
    return LDialog::DoModal("LAACEncodeDlg", owner, &dlg);
}
bool LSettingsDialogRun(HWND owner, LFlacEncodeSettings& settings) {
    LFlacEncodeDlg dlg(settings);
    return LDialog::DoModal("FlacEncodeDlg", owner, &dlg);
}

bool LSettingsDialogRun(HWND owner, LOpusEncodeSettings& settings) {
    LOpusEncodeDlg dlg(settings);
    return LDialog::DoModal("OpusEncodeDlg", owner, &dlg);
}

bool LSettingsDialogRun(HWND owner, LSettingsRecordRef record) {
    return std::visit([owner](auto* r) { return LSettingsDialogRun(owner, *r); }, record);
}
