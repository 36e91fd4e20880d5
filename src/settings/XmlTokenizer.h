// The settings file's XML tokenizer: turns the lines of the file's text into tags, text and
// CDATA tokens.
#pragma once

#include <string>
#include <vector>

// Replaces a list of lines by the tokens of their text, each a three-character kind ("OT:"
// opening tag, "CT:" closing tag, "ET:" empty-element tag, "TX:" text, "CD:" CDATA section)
// followed by its text.
void TokenizeXML(std::vector<std::string>& lines);
