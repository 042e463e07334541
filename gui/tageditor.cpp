// LAudioTagDataEditor: fills the boxes from the tags and sets all seven tags on OK; the other
// fields and the pictures stay as they were read, and whether there is a picture is shown.
#include "gui/tageditor.h"

#include <cstring>
#include <string>

#include "gui/resource.h"
#include "support/file.h"
#include "support/win32/dialog.h"

namespace {

struct Field {
    int id;
    const char* name;
};
constexpr Field kFields[] = {{IDC_TAG_TITLE, "TITLE"}, {IDC_TAG_ARTIST, "ARTIST"},
                             {IDC_TAG_ALBUM, "ALBUM"}, {IDC_TAG_TRACK, "TRACKNUMBER"},
                             {IDC_TAG_YEAR, "DATE"},   {IDC_TAG_COMMENT, "COMMENT"}};

}  // namespace

void LAudioTagDataEditor::InitDialog() {
    for (const Field& f : kFields) LSetItemText(hwnd_, f.id, tags_.Get(f.name, ""));
    HWND genre = GetItem(IDC_TAG_GENRE);
    SendMessageA(genre, CB_RESETCONTENT, 0, 0);
    const char* current = tags_.Get("GENRE", "");
    int selected = 0;
    for (int i = 0; i < LID3_GENRE_COUNT; ++i) {
        SendMessageA(genre, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(kId3Genres[i]));
        if (_stricmp(kId3Genres[i], current) == 0) selected = i;
    }
    SendMessageA(genre, CB_SETCURSEL, static_cast<WPARAM>(selected), 0);
    const size_t pictures = tags_.Pictures().size();
    const std::string picture = pictures == 0   ? "No picture"
                                : pictures == 1 ? "Picture: " + tags_.Pictures()[0].mime
                                                : std::to_string(pictures) + " pictures";
    LSetItemText(hwnd_, IDC_TAG_PICTURE, picture.c_str());
}

bool LAudioTagDataEditor::CmOk() {
    char text[LMAX_PATH];
    for (const Field& f : kFields) {
        GetControlText(f.id, text);
        tags_.Set(f.name, text);
    }
    const auto sel = SendMessageA(GetItem(IDC_TAG_GENRE), CB_GETCURSEL, 0, 0);
    tags_.Set("GENRE", sel >= 0 && sel < LID3_GENRE_COUNT ? kId3Genres[sel] : "");
    return true;
}
