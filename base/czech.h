// Czech letters and case mapping in ISO-8859-2.
//
// Two families: str_ucase/str_lcase map in place through two parallel
// 42-byte alphabets (ů <-> Ů); ucase/lcase map by value through a fixed
// per-byte switch in which ů upper-cases to plain U. Tag names and search
// words are folded with ucase. Nothing depends on the C locale.
#pragma once

#include <string>

int isalphaCZ(char c);
void str_case(char* s, const char* from, const char* to);
void str_ucase(char* s);
void str_lcase(char* s);
std::string ucase(const std::string& s);
// ucase in place: *s = ucase(*s) without a copy (the reader folds every tag).
void ucaseInPlace(std::string* s);
std::string lcase(const std::string& s);
