#ifndef RULESCORE_PYTHON_SRC_OBJECTCELLS_H
#define RULESCORE_PYTHON_SRC_OBJECTCELLS_H

#include <Python.h>

#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>

namespace rulescore::python {

// The addresses of the objects a model's result cells usually point at (its
// categories, rule ids, fired-rule tuples, None), each in a slot of its own
// of a small table found by one multiplication: counting the cells that
// hold each address then costs no search.
class CellAddresses {
 public:
  // Usable only if a table without two addresses in one slot was found.
  explicit CellAddresses(const std::vector<PyObject*>& objects);

  // The table for a loop to look up cells with, copied into its locals:
  // `addresses[SlotOf(cell)] == cell` when the cell holds an address of the
  // table. A slot without an address holds a value no cell can hold (not
  // even null).
  struct Lookup {
    PyObject* const* addresses;
    uint64_t multiplier;
    unsigned shift;
    size_t SlotOf(PyObject* cell) const {
      return static_cast<size_t>((reinterpret_cast<uintptr_t>(cell) * multiplier) >> shift);
    }
  };

  bool IsUsable() const { return !slots_.empty(); }
  size_t GetSlotCount() const { return slots_.size(); }
  Lookup GetLookup() const { return Lookup{slots_.data(), multiplier_, shift_}; }
  PyObject* GetAddress(size_t slot) const { return slots_[slot]; }

 private:
  std::vector<PyObject*> slots_;
  uint64_t multiplier_ = 0;
  unsigned shift_ = 64;
};

// The memory of a call's object result cells, uninitialised when made.
// Once `SetOwned`, each cell holds a reference (or null), dropped when the
// block goes.
//
// Reading millions of cells to drop their references takes a few
// milliseconds on the thread that lets the result go. When the call that
// made the block used several threads, dropping them does too. The cells
// are taken a chunk at a time from one counter: the calling thread, which
// holds the GIL throughout, drops the references of its chunks itself;
// every other thread counts how many cells of its chunks hold each usual
// address (reading the cells, touching no object), and once all chunks
// are taken the calling thread gives up each address's counted references
// in one step, and those of the other cells one by one. A counted object
// cannot go early: each counted cell still holds its reference until then.
// Whatever the cells hold by then (a caller may have stored other objects
// in them), every reference a cell holds is dropped exactly once.
class ObjectCells {
 public:
  ObjectCells(size_t count, int threads, std::shared_ptr<const CellAddresses> addresses);
  ~ObjectCells();
  ObjectCells(const ObjectCells&) = delete;
  ObjectCells& operator=(const ObjectCells&) = delete;

  PyObject** GetCells() const { return cells_; }
  // From now on the cells hold references, dropped with the block.
  void SetOwned() { owned_ = true; }

  // Fewer cells a thread than this are not worth a thread.
  static constexpr size_t kMinCellsPerThread = size_t{1} << 18;
  // Cells a thread takes at a time.
  static constexpr size_t kChunkCells = size_t{1} << 15;

 private:
  void Release();

  size_t count_;
  PyObject** cells_;
  int threads_;
  std::shared_ptr<const CellAddresses> addresses_;
  bool owned_ = false;
};

}  // namespace rulescore::python

#endif  // RULESCORE_PYTHON_SRC_OBJECTCELLS_H
