#include "xml/tagtable.h"

#include <cstdint>

namespace {

bool inTable(const DTDStruct& d, int n) { return n >= 1 && n <= d.count; }

}  // namespace

int DTDStruct::getIndex(const std::string& path) const {
  for (int i = 0; i < count; i++)
    if (tags[i].path == path) return i + 1;
  return 0;
}

std::string DTDStruct::getTag(int n) const { return inTable(*this, n) ? tags[n - 1].path : ""; }

char DTDStruct::getType(int n) const { return inTable(*this, n) ? tags[n - 1].type : '0'; }

std::string DTDStruct::getTpar(int n) const { return inTable(*this, n) ? tags[n - 1].tpar : ""; }

std::string DTDStruct::getTpar2(int n) const { return inTable(*this, n) ? tags[n - 1].tpar2 : ""; }

int DTDStruct::getMin(int n) const {
  if (!inTable(*this, n)) return 0;
  return tags[n - 1].min < 0 ? 0 : tags[n - 1].min;
}

int DTDStruct::getMax(int n) const {
  if (!inTable(*this, n)) return 0;
  return tags[n - 1].max < 0 ? 10000 : tags[n - 1].max;
}

char DTDStruct::getType(const std::string& path) const { return getType(getIndex(path)); }
std::string DTDStruct::getTpar(const std::string& path) const { return getTpar(getIndex(path)); }
std::string DTDStruct::getTpar2(const std::string& path) const { return getTpar2(getIndex(path)); }
int DTDStruct::getMin(const std::string& path) const { return getMin(getIndex(path)); }
int DTDStruct::getMax(const std::string& path) const { return getMax(getIndex(path)); }

int DTDStruct::tag2Int(const std::string& path, bool flag) const {
  int n = getIndex(path);
  if (n > kMaxPackedTag) n = 0;
  uint32_t code = (static_cast<uint32_t>(n) << 25) | (flag ? (1u << 24) : 0u);
  return static_cast<int>(code);
}

std::string DTDStruct::int2Tag(long code, bool* flag) const {
  uint32_t bits = static_cast<uint32_t>(code);
  if (flag) *flag = (bits >> 24) & 1u;
  return getTag(static_cast<int>(bits >> 25));
}

