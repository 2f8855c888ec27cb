// Red-black trees keyed by pointer-sized values, each node carrying one untyped data reference,
// and a growable list of 32-bit integers. They are the building blocks of the dictionaries.
//
// A tree owns only its nodes, never what their data point to: OnDelete is called for every node
// that leaves the tree, so the owner can release or account for the data.
#pragma once

#include <cstdint>
#include <functional>

using TRBKey = intptr_t;

struct TRBNode {
    uint8_t Colour; // 0 red, 1 black
    TRBKey Key;
    void* Data;
    TRBNode* Left;
    TRBNode* Right;
    TRBNode* Parent;
};

enum : uint8_t { rbRed = 0, rbBlack = 1 };

class TRBTree {
  public:
    using TDeleteEvent = std::function<void(TRBTree* tree, TRBKey key, void* data)>;

    TRBTree();
    TRBTree(const TRBTree&) = delete;
    TRBTree& operator=(const TRBTree&) = delete;
    virtual ~TRBTree();

    // The new node, or nullptr when an equal key is already present (nothing changes then).
    TRBNode* Add(TRBKey key, void* data);
    bool Remove(TRBKey key);
    bool RemoveNode(TRBNode* node);
    // The node with an equal key in the subtree of start, or Sentinel(). Callers start at Root().
    virtual TRBNode* FindNode(TRBNode* start, TRBKey key) const;
    TRBNode* First(TRBNode* node) const;
    TRBNode* Next(TRBNode* node) const;
    void Clear();

    TRBNode* Root() const { return FRoot; }
    TRBNode* Sentinel() const { return FSentinel; }
    int32_t Count() const { return FCount; }

    TDeleteEvent OnDelete;

  protected:
    // Negative when key1 orders before key2, zero when equal, positive after.
    virtual int CompareKeys(TRBKey key1, TRBKey key2) const;
    // Plain binary-search-tree insertion; false when a node with an equal key exists.
    virtual bool InsertNode(TRBNode* node);

  private:
    void RotateLeft(TRBNode* x);
    void RotateRight(TRBNode* x);
    void InsertFixup(TRBNode* z);
    void DeleteFixup(TRBNode* x);
    void FreeSubtree(TRBNode* node);

    TRBNode* FRoot;
    TRBNode* FSentinel;
    int32_t FCount = 0;
};

// The same tree ordered by a caller-supplied comparison. Until an owner replaces it, OnCompare is
// the signed integer comparison of the keys.
class TCustomCompareRBTree : public TRBTree {
  public:
    using TCompareEvent = std::function<int(TRBKey key1, TRBKey key2)>;

    TCustomCompareRBTree();

    TCompareEvent OnCompare;

  protected:
    int CompareKeys(TRBKey key1, TRBKey key2) const override;
};

// A growable array of 32-bit values with the run-time library's bounds and messages.
class TIntegerList {
  public:
    static constexpr int32_t MaxListSize = 134217727;

    TIntegerList() = default;
    TIntegerList(const TIntegerList&) = delete;
    TIntegerList& operator=(const TIntegerList&) = delete;
    ~TIntegerList() { Clear(); }

    int32_t Add(int32_t value);
    int32_t Get(int32_t index) const;
    void Delete(int32_t index);
    void Clear();
    void SetCount(int32_t count);
    void SetCapacity(int32_t capacity);

    int32_t Count() const { return FCount; }
    int32_t Capacity() const { return FCapacity; }

  private:
    void Grow();

    int32_t* FItems = nullptr;
    int32_t FCount = 0;
    int32_t FCapacity = 0;
};
