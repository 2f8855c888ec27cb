#include "u_RBTree.h"
#include "u_SysUtils.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <random>
#include <set>
#include <vector>

namespace {

// Walks the whole tree and checks every red-black invariant; returns the black height.
int CheckSubtree(const TRBTree& tree, TRBNode* node, TRBKey* lo, TRBKey* hi) {
    if (node == tree.Sentinel()) return 1;
    if (lo) {
        EXPECT_LT(*lo, node->Key);
    }
    if (hi) {
        EXPECT_GT(*hi, node->Key);
    }
    if (node->Colour == rbRed) {
        EXPECT_EQ(node->Left->Colour, rbBlack);
        EXPECT_EQ(node->Right->Colour, rbBlack);
    }
    if (node->Left != tree.Sentinel()) {
        EXPECT_EQ(node->Left->Parent, node);
    }
    if (node->Right != tree.Sentinel()) {
        EXPECT_EQ(node->Right->Parent, node);
    }
    const int left = CheckSubtree(tree, node->Left, lo, &node->Key);
    const int right = CheckSubtree(tree, node->Right, &node->Key, hi);
    EXPECT_EQ(left, right) << "black heights differ below key " << node->Key;
    return left + (node->Colour == rbBlack ? 1 : 0);
}

int Height(const TRBTree& tree, TRBNode* node) {
    if (node == tree.Sentinel()) return 0;
    return 1 + std::max(Height(tree, node->Left), Height(tree, node->Right));
}

void CheckInvariants(const TRBTree& tree) {
    EXPECT_EQ(tree.Sentinel()->Colour, rbBlack);
    EXPECT_EQ(tree.Root()->Colour, rbBlack);
    CheckSubtree(tree, tree.Root(), nullptr, nullptr);
}

std::vector<TRBKey> Enumerate(const TRBTree& tree) {
    std::vector<TRBKey> keys;
    for (TRBNode* n = tree.First(tree.Root()); n != tree.Sentinel(); n = tree.Next(n))
        keys.push_back(n->Key);
    return keys;
}

TEST(RBTree, AscendingInsertStaysBalancedAndEnumeratesInOrder) {
    TRBTree tree;
    for (int i = 1; i <= 1000; ++i)
        ASSERT_NE(tree.Add(i, nullptr), nullptr);
    CheckInvariants(tree);
    EXPECT_LE(Height(tree, tree.Root()), 2 * std::log2(1000.0 + 1));
    std::vector<TRBKey> expected(1000);
    for (int i = 0; i < 1000; ++i)
        expected[static_cast<size_t>(i)] = i + 1;
    EXPECT_EQ(Enumerate(tree), expected);
    EXPECT_EQ(tree.Count(), 1000);
}

TEST(RBTree, DuplicateKeyIsRefusedWithoutChange) {
    TRBTree tree;
    int a = 0, b = 0;
    tree.Add(5, &a);
    EXPECT_EQ(tree.Add(5, &b), nullptr);
    EXPECT_EQ(tree.Count(), 1);
    EXPECT_EQ(tree.FindNode(tree.Root(), 5)->Data, &a);
    EXPECT_EQ(tree.FindNode(tree.Root(), 6), tree.Sentinel());
    EXPECT_FALSE(tree.Remove(6));
    EXPECT_FALSE(tree.RemoveNode(tree.Sentinel()));
}

TEST(RBTree, RandomInsertAndRemoveKeepInvariants) {
    std::mt19937 rng(12345);
    std::set<TRBKey> model;
    std::vector<TRBKey> deleted; // outlives the tree, whose destruction still reports deletions
    TRBTree tree;
    tree.OnDelete = [&](TRBTree*, TRBKey key, void* data) {
        EXPECT_EQ(reinterpret_cast<TRBKey>(data), key * 10); // data travels with its key
        deleted.push_back(key);
    };
    for (int round = 0; round < 20000; ++round) {
        const TRBKey key = static_cast<TRBKey>(rng() % 2000) - 1000;
        if (rng() % 3 == 0) {
            const bool present = model.erase(key) > 0;
            EXPECT_EQ(tree.Remove(key), present);
        } else {
            const bool added = model.insert(key).second;
            EXPECT_EQ(tree.Add(key, reinterpret_cast<void*>(key * 10)) != nullptr, added);
        }
        if (round % 997 == 0) CheckInvariants(tree);
    }
    CheckInvariants(tree);
    EXPECT_EQ(tree.Count(), static_cast<int32_t>(model.size()));
    EXPECT_EQ(Enumerate(tree), std::vector<TRBKey>(model.begin(), model.end()));
}

TEST(RBTree, RemovingNodeWithTwoChildrenReportsItsOwnKeyAndData) {
    int d1 = 1, d2 = 2, d3 = 3;
    std::vector<std::pair<TRBKey, void*>> seen;
    TRBTree tree;
    tree.Add(2, &d2);
    tree.Add(1, &d1);
    tree.Add(3, &d3);
    TRBNode* root = tree.Root();
    ASSERT_EQ(root->Key, 2);
    tree.OnDelete = [&](TRBTree*, TRBKey key, void* data) { seen.emplace_back(key, data); };
    EXPECT_TRUE(tree.RemoveNode(root));
    ASSERT_EQ(seen.size(), 1u);
    EXPECT_EQ(seen[0].first, 2);
    EXPECT_EQ(seen[0].second, &d2);
    // The successor's key and data moved into the node that stayed.
    EXPECT_EQ(tree.FindNode(tree.Root(), 3)->Data, &d3);
    EXPECT_EQ(Enumerate(tree), (std::vector<TRBKey>{1, 3}));
    CheckInvariants(tree);
}

TEST(RBTree, ClearDeletesChildrenBeforeTheirParent) {
    std::vector<TRBKey> order;
    TRBTree tree;
    tree.Add(2, nullptr);
    tree.Add(1, nullptr);
    tree.Add(3, nullptr);
    tree.OnDelete = [&](TRBTree*, TRBKey key, void*) { order.push_back(key); };
    tree.Clear();
    EXPECT_EQ(order, (std::vector<TRBKey>{1, 3, 2}));
    EXPECT_EQ(tree.Count(), 0);
    EXPECT_EQ(tree.Root(), tree.Sentinel());
    EXPECT_NE(tree.Add(7, nullptr), nullptr); // usable after Clear
}

TEST(RBTree, CustomComparisonOrdersTheTree) {
    TCustomCompareRBTree tree;
    tree.OnCompare = [](TRBKey a, TRBKey b) { return a > b ? -1 : (a < b ? 1 : 0); }; // descending
    for (TRBKey k : {3, 1, 2})
        tree.Add(k, nullptr);
    EXPECT_EQ(Enumerate(tree), (std::vector<TRBKey>{3, 2, 1}));
}

TEST(IntegerList, GrowsInTheDocumentedSteps) {
    auto capacityAfterOneMoreAdd = [](int32_t capacity) {
        TIntegerList list;
        list.SetCapacity(capacity);
        for (int32_t i = 0; i < capacity; ++i)
            list.Add(i);
        list.Add(-1);
        return list.Capacity();
    };
    EXPECT_EQ(capacityAfterOneMoreAdd(0), 4);
    EXPECT_EQ(capacityAfterOneMoreAdd(8), 12);
    EXPECT_EQ(capacityAfterOneMoreAdd(9), 25);
    EXPECT_EQ(capacityAfterOneMoreAdd(64), 80);
    EXPECT_EQ(capacityAfterOneMoreAdd(100), 125);
}

TEST(IntegerList, BoundsAndMessages) {
    TIntegerList list;
    try {
        list.Delete(0);
        FAIL();
    } catch (const EListError& e) {
        EXPECT_STREQ(e.what(), "List index out of bounds (0)");
    }
    list.Add(10);
    list.Add(20);
    list.Add(30);
    EXPECT_THROW(list.Get(3), EListError);
    EXPECT_THROW(list.Get(-1), EListError);
    try {
        list.SetCapacity(2);
        FAIL();
    } catch (const EListError& e) {
        EXPECT_STREQ(e.what(), "List capacity out of bounds (2)");
    }
    try {
        list.SetCount(-1);
        FAIL();
    } catch (const EListError& e) {
        EXPECT_STREQ(e.what(), "List count out of bounds (-1)");
    }
    EXPECT_THROW(list.SetCapacity(TIntegerList::MaxListSize + 1), EListError);
    list.Delete(0);
    EXPECT_EQ(list.Get(0), 20);
    EXPECT_EQ(list.Get(1), 30);
    list.SetCount(4);
    EXPECT_EQ(list.Get(3), 0); // new slots are zero
    list.SetCount(1);
    EXPECT_EQ(list.Count(), 1);
    EXPECT_EQ(list.Get(0), 20);
    list.Clear();
    EXPECT_EQ(list.Capacity(), 0);
}

} // namespace
