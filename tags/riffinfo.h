// RIFF "INFO" lists: their sub-chunks and the fields they carry.
#pragma once

#include <functional>

#include "tags/tagdata.h"
#include "tags/tagtext.h"

// The field of an INFO id (INAM title, IART artist, IPRD album, ICRD date, IGNR genre, ICMT
// comment, ITRK track); null for others.
const char* LRiffInfoName(const uint8_t* id);
// The INFO id of a field; null when INFO has none for it.
const char* LRiffInfoId(const std::string& name);
// Calls fn(offset, id, value) for each sub-chunk of a list body (what follows "INFO"), offset
// being where its header begins; false when a size reaches past the list.
bool LRiffInfoForEach(LBytes list, const std::function<void(size_t, const uint8_t*, LBytes)>& fn);
// Sets the fields of a list body: every one when replace, else only those without a value yet.
// "ICOP" (the copyright) is taken as the date where there is no "ICRD": this program once wrote
// the date there, and "IPRT" (the part) as the track where there is no "ITRK".
bool LRiffInfoRead(LBytes list, LAudioTagData& tags, bool replace);
// The text of an INFO value: up to its first zero, UTF-8 when it is, else Latin-1.
std::string LRiffInfoText(LBytes value);
