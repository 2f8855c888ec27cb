#include "u_RBTree.h"

#include "u_SysUtils.h"

#include <cstdlib>
#include <cstring>

TRBTree::TRBTree() {
    FSentinel = new TRBNode{};
    FSentinel->Colour = rbBlack;
    FSentinel->Left = FSentinel->Right = FSentinel->Parent = FSentinel;
    FRoot = FSentinel;
}

TRBTree::~TRBTree() {
    Clear();
    delete FSentinel;
}

int TRBTree::CompareKeys(TRBKey key1, TRBKey key2) const {
    return key1 > key2 ? 1 : (key1 < key2 ? -1 : 0);
}

bool TRBTree::InsertNode(TRBNode* node) {
    TRBNode* parent = FSentinel;
    TRBNode* x = FRoot;
    int c = 0;
    while (x != FSentinel) {
        parent = x;
        c = CompareKeys(node->Key, x->Key);
        if (c == 0) return false;
        x = c < 0 ? x->Left : x->Right;
    }
    node->Parent = parent;
    if (parent == FSentinel)
        FRoot = node;
    else if (c < 0)
        parent->Left = node;
    else
        parent->Right = node;
    return true;
}

TRBNode* TRBTree::FindNode(TRBNode* start, TRBKey key) const {
    TRBNode* x = start;
    while (x != FSentinel) {
        const int c = CompareKeys(key, x->Key);
        if (c == 0) return x;
        x = c < 0 ? x->Left : x->Right;
    }
    return FSentinel;
}

TRBNode* TRBTree::Add(TRBKey key, void* data) {
    TRBNode* z = new TRBNode{rbRed, key, data, FSentinel, FSentinel, FSentinel};
    if (!InsertNode(z)) {
        delete z;
        return nullptr;
    }
    InsertFixup(z);
    ++FCount;
    return z;
}

void TRBTree::RotateLeft(TRBNode* x) {
    TRBNode* y = x->Right;
    x->Right = y->Left;
    if (y->Left != FSentinel) y->Left->Parent = x;
    y->Parent = x->Parent;
    if (x->Parent == FSentinel)
        FRoot = y;
    else if (x == x->Parent->Left)
        x->Parent->Left = y;
    else
        x->Parent->Right = y;
    y->Left = x;
    x->Parent = y;
}

void TRBTree::RotateRight(TRBNode* x) {
    TRBNode* y = x->Left;
    x->Left = y->Right;
    if (y->Right != FSentinel) y->Right->Parent = x;
    y->Parent = x->Parent;
    if (x->Parent == FSentinel)
        FRoot = y;
    else if (x == x->Parent->Right)
        x->Parent->Right = y;
    else
        x->Parent->Left = y;
    y->Right = x;
    x->Parent = y;
}

void TRBTree::InsertFixup(TRBNode* z) {
    while (z->Parent->Colour == rbRed) {
        TRBNode* grand = z->Parent->Parent;
        if (z->Parent == grand->Left) {
            TRBNode* uncle = grand->Right;
            if (uncle->Colour == rbRed) {
                z->Parent->Colour = rbBlack;
                uncle->Colour = rbBlack;
                grand->Colour = rbRed;
                z = grand;
            } else {
                if (z == z->Parent->Right) {
                    z = z->Parent;
                    RotateLeft(z);
                }
                z->Parent->Colour = rbBlack;
                z->Parent->Parent->Colour = rbRed;
                RotateRight(z->Parent->Parent);
            }
        } else {
            TRBNode* uncle = grand->Left;
            if (uncle->Colour == rbRed) {
                z->Parent->Colour = rbBlack;
                uncle->Colour = rbBlack;
                grand->Colour = rbRed;
                z = grand;
            } else {
                if (z == z->Parent->Left) {
                    z = z->Parent;
                    RotateRight(z);
                }
                z->Parent->Colour = rbBlack;
                z->Parent->Parent->Colour = rbRed;
                RotateLeft(z->Parent->Parent);
            }
        }
    }
    FRoot->Colour = rbBlack;
}

bool TRBTree::Remove(TRBKey key) {
    return RemoveNode(FindNode(FRoot, key));
}

bool TRBTree::RemoveNode(TRBNode* z) {
    if (z == nullptr || z == FSentinel) return false;
    if (OnDelete) OnDelete(this, z->Key, z->Data);
    TRBNode* y = (z->Left == FSentinel || z->Right == FSentinel) ? z : Next(z);
    TRBNode* x = y->Left != FSentinel ? y->Left : y->Right;
    x->Parent = y->Parent; // also when x is the sentinel: the fix-up walks up from it
    if (y->Parent == FSentinel)
        FRoot = x;
    else if (y == y->Parent->Left)
        y->Parent->Left = x;
    else
        y->Parent->Right = x;
    if (y != z) {
        z->Key = y->Key;
        z->Data = y->Data;
    }
    if (y->Colour == rbBlack) DeleteFixup(x);
    delete y;
    --FCount;
    // Keep the sentinel's links harmless for the next operation.
    FSentinel->Parent = FSentinel->Left = FSentinel->Right = FSentinel;
    return true;
}

void TRBTree::DeleteFixup(TRBNode* x) {
    while (x != FRoot && x->Colour == rbBlack) {
        if (x == x->Parent->Left) {
            TRBNode* w = x->Parent->Right;
            if (w->Colour == rbRed) {
                w->Colour = rbBlack;
                x->Parent->Colour = rbRed;
                RotateLeft(x->Parent);
                w = x->Parent->Right;
            }
            if (w->Left->Colour == rbBlack && w->Right->Colour == rbBlack) {
                w->Colour = rbRed;
                x = x->Parent;
            } else {
                if (w->Right->Colour == rbBlack) {
                    w->Left->Colour = rbBlack;
                    w->Colour = rbRed;
                    RotateRight(w);
                    w = x->Parent->Right;
                }
                w->Colour = x->Parent->Colour;
                x->Parent->Colour = rbBlack;
                w->Right->Colour = rbBlack;
                RotateLeft(x->Parent);
                x = FRoot;
            }
        } else {
            TRBNode* w = x->Parent->Left;
            if (w->Colour == rbRed) {
                w->Colour = rbBlack;
                x->Parent->Colour = rbRed;
                RotateRight(x->Parent);
                w = x->Parent->Left;
            }
            if (w->Right->Colour == rbBlack && w->Left->Colour == rbBlack) {
                w->Colour = rbRed;
                x = x->Parent;
            } else {
                if (w->Left->Colour == rbBlack) {
                    w->Right->Colour = rbBlack;
                    w->Colour = rbRed;
                    RotateLeft(w);
                    w = x->Parent->Left;
                }
                w->Colour = x->Parent->Colour;
                x->Parent->Colour = rbBlack;
                w->Left->Colour = rbBlack;
                RotateRight(x->Parent);
                x = FRoot;
            }
        }
    }
    x->Colour = rbBlack;
}

TRBNode* TRBTree::First(TRBNode* node) const {
    if (node == FSentinel) return FSentinel;
    while (node->Left != FSentinel)
        node = node->Left;
    return node;
}

TRBNode* TRBTree::Next(TRBNode* node) const {
    if (node == FSentinel) return FSentinel;
    if (node->Right != FSentinel) return First(node->Right);
    TRBNode* parent = node->Parent;
    while (parent != FSentinel && node == parent->Right) {
        node = parent;
        parent = parent->Parent;
    }
    return parent;
}

void TRBTree::FreeSubtree(TRBNode* node) {
    // Post-order without recursion, so a degenerate tree cannot exhaust the stack.
    while (node != FSentinel) {
        if (node->Left != FSentinel) {
            node = node->Left;
        } else if (node->Right != FSentinel) {
            node = node->Right;
        } else {
            TRBNode* parent = node->Parent;
            if (parent != FSentinel) {
                if (parent->Left == node)
                    parent->Left = FSentinel;
                else
                    parent->Right = FSentinel;
            }
            if (OnDelete) OnDelete(this, node->Key, node->Data);
            delete node;
            --FCount;
            node = parent;
        }
    }
}

void TRBTree::Clear() {
    TRBNode* root = FRoot;
    FRoot = FSentinel;
    FreeSubtree(root);
    FCount = 0;
    FSentinel->Parent = FSentinel->Left = FSentinel->Right = FSentinel;
}

TCustomCompareRBTree::TCustomCompareRBTree() {
    OnCompare = [](TRBKey a, TRBKey b) { return a > b ? 1 : (a < b ? -1 : 0); };
}

int TCustomCompareRBTree::CompareKeys(TRBKey key1, TRBKey key2) const {
    return OnCompare(key1, key2);
}

// TIntegerList

void TIntegerList::Grow() {
    int32_t delta = 4;
    if (FCapacity > 64)
        delta = FCapacity / 4;
    else if (FCapacity > 8)
        delta = 16;
    SetCapacity(FCapacity + delta);
}

int32_t TIntegerList::Add(int32_t value) {
    if (FCount == FCapacity) Grow();
    FItems[FCount] = value;
    return FCount++;
}

int32_t TIntegerList::Get(int32_t index) const {
    if (index < 0 || index >= FCount) throw EListError(Format(SListIndexError, index));
    return FItems[index];
}

void TIntegerList::Delete(int32_t index) {
    if (index < 0 || index >= FCount) throw EListError(Format(SListIndexError, index));
    --FCount;
    std::memmove(FItems + index, FItems + index + 1, sizeof(int32_t) * static_cast<size_t>(FCount - index));
}

void TIntegerList::Clear() {
    FCount = 0;
    SetCapacity(0);
}

void TIntegerList::SetCapacity(int32_t capacity) {
    if (capacity < FCount || capacity > MaxListSize) throw EListError(Format(SListCapacityError, capacity));
    if (capacity == FCapacity) return;
    if (capacity == 0) {
        std::free(FItems);
        FItems = nullptr;
    } else {
        void* grown = std::realloc(FItems, sizeof(int32_t) * static_cast<size_t>(capacity));
        if (!grown) throw std::bad_alloc();
        FItems = static_cast<int32_t*>(grown);
    }
    FCapacity = capacity;
}

void TIntegerList::SetCount(int32_t count) {
    if (count < 0 || count > MaxListSize) throw EListError(Format(SListCountError, count));
    if (count > FCapacity) SetCapacity(count);
    if (count > FCount) {
        std::memset(FItems + FCount, 0, sizeof(int32_t) * static_cast<size_t>(count - FCount));
        FCount = count;
    } else {
        while (FCount > count)
            Delete(FCount - 1);
    }
}
