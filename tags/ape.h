// APEv2 tags (MP3, WavPack, Monkey's Audio and Musepack files): read only.
#pragma once

#include "tags/tagdata.h"
#include "tags/tagtext.h"

constexpr size_t LAPE_FOOTER = 32;

// The size of the tag (its items, its footer and its header when it has one) that ends with
// this 32-byte footer; 0 when the bytes are no footer.
size_t LApeSize(LBytes footer);
// Sets the fields and pictures of a whole tag, which ends with its footer; false when it is
// none.
bool LApeParse(LBytes tag, LAudioTagData& tags);
