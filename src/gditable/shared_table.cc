#include "gditable/shared_table.h"

#include <algorithm>
#include <iterator>
#include <memory>
#include <new>

#include "census/process_table.h"
#include "gditable/object_types.h"
#include "platform/gdi_table_layout.h"

namespace {

// What the scan keeps of a recorded process while it runs, in one cache
// line: where its next handle goes, the end of the room its list has, and
// what it counted. An entry touches this line and its handle's, not the
// record's fields spread over a 632-byte node; the counts go to the record
// when the scan ends.
struct alignas(64) Owner {
  HandleRecord* next;
  HandleRecord* end;
  int32_t categoryCounts[kCategoryCount];
  int32_t unlisted;
};
static_assert(sizeof(Owner) == 64, "an owner is one cache line");

// Where `owner` writes next in `list`, and the end of the room it has.
void TakeRoom(Owner& owner, const HandleList& list) {
  owner.next = list.storage + list.size;
  owner.end = list.storage + list.Room();
}

// Puts the handles `owner` wrote since it took its room into `list`.
void Settle(const Owner& owner, HandleList& list) {
  list.TakeWritten(
      static_cast<int32_t>(owner.next - (list.storage + list.size)));
}

// Appends to a list whose room is used up, as HandleList::Append does: it
// grows by its doubling rule, or the append fails and null comes back.
HandleRecord* AppendBeyondRoom(Owner& owner, HandleList& list) {
  Settle(owner, list);
  HandleRecord* slot = list.AppendSlot();
  TakeRoom(owner, list);
  return slot;
}

// The used entries of the table, when no process is recorded.
uint32_t CountUsed(const GdiTableEntry* table, uint32_t tableSlots) {
  uint32_t used = 0;
  for (uint32_t index = 0; index < tableSlots; ++index)
    used += table[index].typeCode != 0;
  return used;
}

// Attributes each used entry owned by a PID of `finder`'s index, which has
// slots, to its owner; `home` gives a PID's home slot. Returns the number of
// used entries.
template <typename HomeSlot>
uint32_t ScanEntries(const GdiTableEntry* table, uint32_t tableSlots,
                     const PidFinder& finder, Owner* owners, HomeSlot home) {
  uint32_t used = 0;
  for (uint32_t index = 0; index < tableSlots; ++index) {
    const GdiTableEntry& entry = table[index];
    if (entry.typeCode == 0)
      continue;
    ++used;
    uint32_t pid = entry.ownerWord & 0xFFFFFFFEu;
    const PidFinder::Slot* slot = finder.SlotFrom(pid, home(pid));
    if (!slot)
      continue;
    Owner& owner = owners[slot->number];
    HandleRecord* handle = owner.next;
    if (handle != owner.end)
      ++owner.next;
    else
      handle = AppendBeyondRoom(owner, slot->record->handles);
    // A handle that cannot be listed still counts.
    if (handle) {
      handle->entry = entry;
      handle->handle = HandleValueOf(entry.unique, index);
    } else {
      ++owner.unlisted;
    }
    ++owner.categoryCounts[IndexOf(CategoryOf(TypeCodeOf(entry)))];
  }
  return used;
}

}  // namespace

uint32_t ScanSharedHandleTable(const GdiTableEntry* table, uint32_t tableSlots,
                               ProcessTable& processes) {
  // Held in locals, so that the stores of the scan do not make it read them
  // again.
  const PidFinder finder = processes.Finder();
  const uint32_t held = finder.slots ? finder.mask + 1 : 0;
  // Like the table's own room for a process, an owner that cannot be had
  // ends the run as out of memory.
  std::unique_ptr<Owner[]> owners(new (std::nothrow) Owner[processes.Count()]);
  if (processes.Count() != 0 && !owners)
    throw OutOfMemoryError();

  // Each empty list gets room for the objects GetGuiResources counted for
  // its process, so that the scan appends without reallocating. The counts
  // come from the system and may be anything: the lists get room for no
  // more than the table has entries in all, and a count beyond what is left
  // of that gets none.
  int64_t budget = tableSlots;
  for (uint32_t i = 0; i < held; ++i) {
    const PidFinder::Slot& slot = finder.slots[i];
    if (!slot.record)
      continue;
    HandleList& list = slot.record->handles;
    int32_t expected = slot.record->guiObjectCount;
    if (list.size == 0 && expected > 0 && expected <= budget) {
      list.Reserve(expected);
      budget -= expected;
    }
    Owner& owner = owners[slot.number];
    std::fill(std::begin(owner.categoryCounts), std::end(owner.categoryCounts),
              0);
    owner.unlisted = 0;
    TakeRoom(owner, list);
  }

  // The loop is made once for each hash, so that an entry does not ask
  // which one is in use.
  uint32_t used;
  if (held == 0) {
    used = CountUsed(table, tableSlots);
  } else if (finder.guarded) {
    used =
        ScanEntries(table, tableSlots, finder, owners.get(),
                    [finder](uint32_t pid) { return finder.GuardedHome(pid); });
  } else {
    used = ScanEntries(
        table, tableSlots, finder, owners.get(),
        [finder](uint32_t pid) { return finder.FibonacciHome(pid); });
  }

  for (uint32_t i = 0; i < held; ++i) {
    const PidFinder::Slot& slot = finder.slots[i];
    if (!slot.record)
      continue;
    const Owner& owner = owners[slot.number];
    ProcessRecord& record = *slot.record;
    Settle(owner, record.handles);
    for (int category = 0; category < kCategoryCount; ++category) {
      record.entryCount += owner.categoryCounts[category];
      record.categoryCounts[category] += owner.categoryCounts[category];
    }
    record.unlistedHandles += owner.unlisted;
  }
  return used;
}
