#include "import/names.h"

#include <algorithm>

#include "dtd/dtd.h"

namespace {

std::string_view dropPrefix(std::string_view name) {
  size_t colon = name.rfind(':');
  return colon == std::string_view::npos ? name : name.substr(colon + 1);
}

char mapByte(unsigned char c) {
  if (c >= 'a' && c <= 'z') return static_cast<char>(c - 'a' + 'A');
  bool kept = (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '_' || c == '-';
  return kept ? static_cast<char>(c) : '_';
}

// True when mapping `local` did more than upper-case it.
bool lostSomething(std::string_view local, const std::string& mapped) {
  if (mapped.size() != local.size()) return true;
  for (size_t i = 0; i < local.size(); ++i)
    if (mapped[i] == '_' && local[i] != '_') return true;
  return false;
}

}  // namespace

std::string lexornName(std::string_view xmlName) {
  std::string_view local = dropPrefix(xmlName);
  size_t n = std::min(local.size(), static_cast<size_t>(DTD::kMaxField));
  std::string out(n, '_');
  for (size_t i = 0; i < n; ++i) out[i] = mapByte(static_cast<unsigned char>(local[i]));
  return out;
}

int NameMapper::map(std::string_view xmlName) {
  auto found = bySource_.find(xmlName);
  if (found != bySource_.end()) return found->second;

  std::string source(xmlName);
  std::string mapped = lexornName(xmlName);
  int id = static_cast<int>(mapped_.size());
  bySource_.emplace(source, id);
  mapped_.push_back(mapped);

  bool changed = lostSomething(dropPrefix(xmlName), mapped);
  auto [first, isNew] = firstSource_.emplace(mapped, source);
  if (changed) ++changed_;
  if (!isNew) ++collisions_;
  if (changed || !isNew) notes_.push_back({source, mapped, changed, isNew ? "" : first->second});
  return id;
}

std::vector<NameMapper::Note> NameMapper::takeNotes() {
  std::vector<Note> out;
  out.swap(notes_);
  return out;
}
