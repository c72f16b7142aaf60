#include "python/src/ObjectCells.h"

#include "host/PartThreads.h"

#include <algorithm>
#include <atomic>
#include <new>
#include <utility>

namespace rulescore::python {
namespace {

// Counts, per slot of `addresses`, the cells of the chunks a thread takes
// that hold its address, and keeps the places of the other cells in a
// buffer of fixed size. Cells go to four lanes in turn, so that a run of
// one address (a clean table's error column is one run of None) does not
// make each count wait for the one before. Nothing is allocated while
// counting: when the buffer is full, counting stops there.
class ShareCounts {
 public:
  static constexpr size_t kLanes = 4;
  static constexpr size_t kMaxOthers = size_t{1} << 14;
  // A lane's counts start a cache line after a multiple of the table's
  // size (a power of two): the lanes' counts of one address would
  // otherwise lie a multiple of 4 KiB apart, and the processor takes a
  // load at such a distance from a pending store to wait for it.
  static constexpr size_t kLanePadding = 64 / sizeof(Py_ssize_t);

  explicit ShareCounts(const CellAddresses& addresses)
      : addresses_(addresses),
        slots_(addresses.GetSlotCount()),
        stride_(slots_ + kLanePadding),
        counts_(kLanes * stride_, 0),
        others_(kMaxOthers) {}

  // Counts the cells [begin, end); returns where it stopped.
  size_t Count(PyObject* const* cells, size_t begin, size_t end) {
    // Locals, so that no store to a count makes them be read again.
    const CellAddresses::Lookup lookup = addresses_.GetLookup();
    const size_t stride = stride_;
    Py_ssize_t* const counts = counts_.data();
    size_t* const others = others_.data();
    size_t used = used_;
    size_t c = begin;
    for (; c + kLanes <= end; c += kLanes) {
      for (size_t lane = 0; lane < kLanes; ++lane) {
        PyObject* const cell = cells[c + lane];
        const size_t slot = lookup.SlotOf(cell);
        if (lookup.addresses[slot] == cell) {
          ++counts[lane * stride + slot];
          continue;
        }
        if (used == kMaxOthers) {
          used_ = used;
          return c + lane;
        }
        others[used++] = c + lane;
      }
    }
    for (; c < end; ++c) {
      PyObject* const cell = cells[c];
      const size_t slot = lookup.SlotOf(cell);
      if (lookup.addresses[slot] == cell) {
        ++counts[slot];
        continue;
      }
      if (used == kMaxOthers) break;
      others[used++] = c;
    }
    used_ = used;
    return c;
  }

  // With the GIL: the counted references, then those of the other cells.
  void Drop(PyObject* const* cells) const {
    for (size_t slot = 0; slot < slots_; ++slot) {
      Py_ssize_t held = 0;
      for (size_t lane = 0; lane < kLanes; ++lane) held += counts_[lane * stride_ + slot];
      if (held == 0) continue;
      PyObject* object = addresses_.GetAddress(slot);
      // `held` cells hold a reference each, so the object's count stays
      // positive until the last one goes through Py_DECREF.
      if (held > 1) Py_SET_REFCNT(object, Py_REFCNT(object) - (held - 1));
      Py_DECREF(object);
    }
    for (size_t k = 0; k < used_; ++k) Py_XDECREF(cells[others_[k]]);
  }

 private:
  const CellAddresses& addresses_;
  size_t slots_;
  size_t stride_;
  std::vector<Py_ssize_t> counts_;  // per lane, per slot
  std::vector<size_t> others_;
  size_t used_ = 0;
};

}  // namespace

CellAddresses::CellAddresses(const std::vector<PyObject*>& objects) {
  std::vector<PyObject*> distinct;
  for (PyObject* object : objects) {
    if (object != nullptr) distinct.push_back(object);
  }
  std::sort(distinct.begin(), distinct.end());
  distinct.erase(std::unique(distinct.begin(), distinct.end()), distinct.end());
  if (distinct.empty() || distinct.size() > (size_t{1} << 16)) return;
  // A few multipliers for tables of 8, 16 and 32 slots an address; objects
  // made one after another sit at regular distances, which a multiplication
  // by a large odd number spreads well.
  unsigned bits = 1;
  while ((size_t{1} << bits) < 8 * distinct.size()) ++bits;
  uint64_t multiplier = 0x9E3779B97F4A7C15u;
  for (unsigned extra = 0; extra < 3; ++extra) {
    const unsigned tableBits = bits + extra;
    const unsigned shift = 64 - tableBits;
    for (int attempt = 0; attempt < 16; ++attempt) {
      std::vector<PyObject*> slots(size_t{1} << tableBits, nullptr);
      bool clash = false;
      for (PyObject* object : distinct) {
        const size_t slot = static_cast<size_t>((reinterpret_cast<uintptr_t>(object) * multiplier) >> shift);
        if (slots[slot] != nullptr) {
          clash = true;
          break;
        }
        slots[slot] = object;
      }
      if (!clash) {
        // No cell holds an odd address: objects are aligned.
        for (PyObject*& slot : slots) {
          if (slot == nullptr) slot = reinterpret_cast<PyObject*>(uintptr_t{1});
        }
        slots_ = std::move(slots);
        multiplier_ = multiplier;
        shift_ = shift;
        return;
      }
      // The next odd multiplier of a simple sequence.
      multiplier = multiplier * 6364136223846793005u + 1442695040888963407u;
      multiplier |= 1;
    }
  }
}

ObjectCells::ObjectCells(size_t count, int threads, std::shared_ptr<const CellAddresses> addresses)
    : count_(count),
      cells_(new PyObject*[count > 0 ? count : 1]),
      threads_(threads),
      addresses_(std::move(addresses)) {}

ObjectCells::~ObjectCells() {
  if (owned_) Release();
  delete[] cells_;
}

void ObjectCells::Release() {
  size_t threads = std::min<size_t>(static_cast<size_t>(std::max(threads_, 1)), count_ / kMinCellsPerThread);
#ifdef Py_GIL_DISABLED
  threads = 1;  // an object's count is not a plain number without the GIL
#endif
  if (threads < 2 || addresses_ == nullptr || !addresses_->IsUsable()) {
    for (size_t c = 0; c < count_; ++c) Py_XDECREF(cells_[c]);
    return;
  }
  // Per counting thread: its counts, and the cells it left uncounted.
  std::vector<ShareCounts> counts;
  std::vector<std::pair<size_t, size_t>> left;
  try {
    counts.reserve(threads - 1);
    for (size_t t = 1; t < threads; ++t) counts.emplace_back(*addresses_);
    left.assign(threads - 1, {0, 0});
  } catch (const std::bad_alloc&) {
    for (size_t c = 0; c < count_; ++c) Py_XDECREF(cells_[c]);
    return;
  }
  std::atomic<size_t> next{0};
  auto run = [this, &counts, &left, &next](size_t t) {
    for (size_t begin = next.fetch_add(kChunkCells, std::memory_order_relaxed); begin < count_;
         begin = next.fetch_add(kChunkCells, std::memory_order_relaxed)) {
      const size_t end = std::min(count_, begin + kChunkCells);
      if (t == 0) {
        // The calling thread, with the GIL.
        for (size_t c = begin; c < end; ++c) Py_XDECREF(cells_[c]);
        continue;
      }
      const size_t stop = counts[t - 1].Count(cells_, begin, end);
      if (stop < end) {
        // Its buffer is full: the rest of the chunk is left to the
        // calling thread, and the chunks after it to the others.
        left[t - 1] = {stop, end};
        return;
      }
    }
  };
  KtZembra_940::PartThreads::RunAll(threads, run);
  for (size_t t = 0; t + 1 < threads; ++t) {
    counts[t].Drop(cells_);
    for (size_t c = left[t].first; c < left[t].second; ++c) Py_XDECREF(cells_[c]);
  }
}

}  // namespace rulescore::python
