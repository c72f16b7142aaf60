#include "python/src/ObjectCells.h"

#include "host/PartThreads.h"

#include <algorithm>
#include <new>
#include <utility>

namespace rulescore::python {
namespace {

// Counts, per slot of `addresses`, the cells of a share that hold its
// address, and keeps the places of the other cells in a buffer of fixed
// size. Cells go to four lanes in turn, so that a run of one address (a
// clean table's error column is one run of None) does not make each count
// wait for the one before. Nothing is allocated while counting: when the
// buffer is full, counting stops there.
class ShareCounts {
 public:
  static constexpr size_t kLanes = 4;
  static constexpr size_t kMaxOthers = size_t{1} << 14;

  explicit ShareCounts(const CellAddresses& addresses)
      : addresses_(addresses),
        slots_(addresses.GetSlotCount()),
        counts_(kLanes * (slots_ + 1), 0),
        others_(kMaxOthers) {}

  // Counts the cells [begin, end); returns where it stopped.
  size_t Count(PyObject* const* cells, size_t begin, size_t end) {
    // Locals, so that no store through a pointer makes them be read again.
    const CellAddresses& addresses = addresses_;
    const size_t none = slots_;
    const size_t stride = slots_ + 1;
    Py_ssize_t* const counts = counts_.data();
    size_t* const others = others_.data();
    size_t used = used_;
    size_t c = begin;
    for (; c + kLanes <= end; c += kLanes) {
      if (used + kLanes > kMaxOthers) break;
      for (size_t lane = 0; lane < kLanes; ++lane) {
        const size_t slot = addresses.Find(cells[c + lane]);
        ++counts[lane * stride + slot];
        // A cell without a slot goes on the list; the next one may take
        // its place there.
        others[used] = c + lane;
        used += slot == none ? 1 : 0;
      }
    }
    for (; c < end && used + 1 <= kMaxOthers; ++c) {
      const size_t slot = addresses.Find(cells[c]);
      ++counts[slot];
      others[used] = c;
      used += slot == none ? 1 : 0;
    }
    used_ = used;
    return c;
  }

  // With the GIL: the counted references, then those of the other cells.
  void Drop(PyObject* const* cells) const {
    const size_t stride = slots_ + 1;
    for (size_t slot = 0; slot < slots_; ++slot) {
      Py_ssize_t held = 0;
      for (size_t lane = 0; lane < kLanes; ++lane) held += counts_[lane * stride + slot];
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
  std::vector<Py_ssize_t> counts_;  // per lane, per slot and one for the others
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
  size_t shares = std::min<size_t>(static_cast<size_t>(std::max(threads_, 1)),
                                   count_ / kMinCellsPerThread);
#ifdef Py_GIL_DISABLED
  shares = 1;  // an object's count is not a plain number without the GIL
#endif
  if (shares < 2 || addresses_ == nullptr || !addresses_->IsUsable()) {
    for (size_t c = 0; c < count_; ++c) Py_XDECREF(cells_[c]);
    return;
  }
  std::vector<ShareCounts> counts;
  std::vector<std::pair<size_t, size_t>> left;  // cells a share did not count
  try {
    counts.reserve(shares);
    for (size_t s = 0; s < shares; ++s) counts.emplace_back(*addresses_);
    left.resize(shares);
  } catch (const std::bad_alloc&) {
    for (size_t c = 0; c < count_; ++c) Py_XDECREF(cells_[c]);
    return;
  }
  auto count = [this, shares, &counts, &left](size_t s) {
    const size_t end = count_ * (s + 1) / shares;
    left[s] = {counts[s].Count(cells_, count_ * s / shares, end), end};
  };
  KtZembra_940::PartThreads::RunAll(shares, count);
  for (size_t s = 0; s < shares; ++s) {
    counts[s].Drop(cells_);
    for (size_t c = left[s].first; c < left[s].second; ++c) Py_XDECREF(cells_[c]);
  }
}

}  // namespace rulescore::python
