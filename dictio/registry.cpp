// The process-wide registry of open dictionaries and the settings that
// host programs hand to the dictionaries it opens.

#include <string>

#include "base/error.h"
#include "dictio/dictio.h"

int io_output = 1;
void (*on_load)(void* handle, char* text) = nullptr;
void (*on_prog)(void* handle, double fraction) = nullptr;
void* on_prog_bar = nullptr;
// Display text handed to on_load; not the name of the dictionary opened.
std::string dictios_name;

namespace {

struct Slot {
  std::string name;
  DictIO* io = nullptr;  // in use when non-null; slots fill from the first
};

Slot ios_all[kRegistrySlots];

}  // namespace

void dictios_init(int out) {
  // Dictionaries still registered would otherwise be lost unsaved.
  dictios_delete();
  io_output = out;
  dictios_name.clear();
}

void dictios_set_on_load(void (*f)(void*, char*)) { on_load = f; }

void dictios_set_on_prog(void (*f)(void*, double)) { on_prog = f; }

void dictios_set_on_prog_bar(void* h) { on_prog_bar = h; }

void dictios_set_name(const char* text) { dictios_name = text ? text : ""; }

DictIO* dictios_get(const char* name, int mode) {
  if (!name) return nullptr;
  int i = 0;
  for (; i < kRegistrySlots && ios_all[i].io; i++)
    if (ios_all[i].name == name) return ios_all[i].io;
  if (i == kRegistrySlots) {
    errorf("Error: Cannot open dictionary %s: all %d dictionary slots are in use.\n", name,
           kRegistrySlots);
    return nullptr;
  }
  if (on_load && !dictios_name.empty()) on_load(on_prog_bar, dictios_name.data());
  ios_all[i].io = new DictIO(name, io_output, mode);
  ios_all[i].name = name;
  return ios_all[i].io;
}

void dictios_delete() {
  for (Slot& s : ios_all) {
    DictIO* io = s.io;
    s.io = nullptr;
    s.name.clear();
    delete io;
  }
}
