// Rendering entry trees as XML text, and XML escaping.
//
// Output property bits (XML::outProps): 1 indents each level by two spaces,
// 4 ends every open tag of an element with children and every close tag with
// a line feed, 2 ends the whole entry with a line feed. Default 7.
#pragma once

#include <string>

class XMLEntry;

enum { XML_INDENT = 1, XML_AFTER = 2, XML_LINES = 4 };

// The renderer: appends to *out (linear in the size of the entry).
void XMLprintEntryTo(std::string* out, const XMLEntry* e, const std::string& indent,
                     const std::string& step, const std::string& lineEnd,
                     const std::string& after, bool withTags, bool escBackslash);

std::string XMLprintEntry(const XMLEntry* e, const std::string& indent, const std::string& step,
                          const std::string& lineEnd, const std::string& after, bool withTags,
                          bool escBackslash);
// Compact form: no indentation, no line breaks.
std::string XMLprintEntry(const XMLEntry* e, bool withTags, bool escBackslash);
// Step, line end and trailer chosen from the property bits.
std::string XMLprintEntry(const XMLEntry* e, int props, bool withTags, bool escBackslash);
void XMLprintEntryTo(std::string* out, const XMLEntry* e, int props, bool withTags,
                     bool escBackslash);

// "<" -> "&lt;", ">" -> "&gt;", "&" -> "&amp;", and with escBackslash a
// backslash -> two backslashes. Nothing else changes.
std::string parseString(const std::string& s, bool escBackslash);
void parseStringTo(std::string* out, const std::string& s, bool escBackslash);
