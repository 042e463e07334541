// The field names of the tag model against the keys of ID3v2 frames and of described fields
// (ID3v2 "TXXX", MP4 "----").
#pragma once

#include <string>

// The field of an ID3v2.3/2.4 text frame id; null for frames kept elsewhere or not at all.
const char* LTagNameOfId3Frame(const char* id);
// The ID3v2.3 text frame of a field; null when the field goes elsewhere.
const char* LTagId3FrameOfName(const std::string& name);
// "MusicBrainz Album Id" and the like as their fields; any other description upper-cased.
std::string LTagNameOfDescription(const std::string& description);
// The description a field gets where it goes by name: the MusicBrainz spellings, else the name.
std::string LTagDescriptionOfName(const std::string& name);
