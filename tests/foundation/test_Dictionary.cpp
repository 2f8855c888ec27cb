#include "u_Dictionary.h"
#include "u_SysUtils.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

struct TNotifyRecord {
    std::string Key;
    TDictionary::TValue Value;
    int Action;
};

class TRecordingDictionary : public TDictionary {
  public:
    using TDictionary::TDictionary;
    std::vector<TNotifyRecord> Log;

  protected:
    void Notify(const std::string& key, TValue value, TNotifyAction action) override {
        Log.push_back({key, value, action});
    }
};

void* V(intptr_t n) {
    return reinterpret_cast<void*>(n);
}

TEST(Dictionary, CaseInsensitiveDuplicateAndLookup) {
    TDictionary d(true, true);
    d.Add("Width", V(1));
    try {
        d.Add("WIDTH", V(2));
        FAIL();
    } catch (const EDictionaryError& e) {
        EXPECT_STREQ(e.what(), "TDictionary.Add - element \"WIDTH\" is already in collection");
    }
    EXPECT_EQ(d.Get_Item("width"), V(1));
    EXPECT_EQ(d.Count(), 1);
    EXPECT_EQ(d.Find("height", V(9)), V(9));
}

TEST(Dictionary, CaseSensitiveKeepsBothSpellings) {
    TDictionary d(false, true);
    d.Add("a", V(1));
    d.Add("A", V(2));
    EXPECT_EQ(d.Count(), 2);
    EXPECT_EQ(d.Get_Item("A"), V(2));
}

TEST(Dictionary, EnumerationSortedOrInsertionOrder) {
    TDictionary sorted(true, true);
    TDictionary unsorted(true, false);
    for (auto* d : {&sorted, &unsorted}) {
        d->Add("b", V(1));
        d->Add("C", V(2));
        d->Add("a", V(3));
    }
    EXPECT_EQ(sorted.Keys(), (std::vector<std::string>{"a", "b", "C"}));
    EXPECT_EQ(unsorted.Keys(), (std::vector<std::string>{"b", "C", "a"}));
    EXPECT_EQ(unsorted.Values(), (std::vector<void*>{V(1), V(2), V(3)}));
    // Replacing a value keeps the entry's place in insertion order.
    unsorted.Set_Item("b", V(7));
    EXPECT_EQ(unsorted.Keys(), (std::vector<std::string>{"b", "C", "a"}));
    unsorted.Delete("C");
    EXPECT_EQ(unsorted.Keys(), (std::vector<std::string>{"b", "a"}));
}

TEST(Dictionary, ClearRestartsInsertionNumbers) {
    TDictionary d(true, false);
    d.Add("x", V(1));
    d.Add("y", V(2));
    d.Clear();
    d.Add("z", V(3));
    d.Add("a", V(4));
    EXPECT_EQ(d.Keys(), (std::vector<std::string>{"z", "a"}));
}

TEST(Dictionary, SetItemNotifiesOldThenNew) {
    TRecordingDictionary d(true, true);
    d.Add("k", V(1));
    d.Log.clear();
    d.Set_Item("K", V(2));
    ASSERT_EQ(d.Log.size(), 2u);
    EXPECT_EQ(d.Log[0].Value, V(1));
    EXPECT_EQ(d.Log[0].Action, 2);
    EXPECT_EQ(d.Log[1].Value, V(2));
    EXPECT_EQ(d.Log[1].Action, 0);
    EXPECT_EQ(d.Count(), 1);
    d.Log.clear();
    d.Delete("k");
    ASSERT_EQ(d.Log.size(), 1u);
    EXPECT_EQ(d.Log[0].Key, "k");
    EXPECT_EQ(d.Log[0].Action, 2);
}

TEST(Dictionary, MissingKeyMessagesNameTheOperation) {
    TDictionary d(true, true);
    try {
        d.Delete("nope");
        FAIL();
    } catch (const EDictionaryError& e) {
        EXPECT_STREQ(e.what(), "TDictionary.Delete - element \"nope\" not found in collection");
    }
    try {
        d.Get_Item("nope");
        FAIL();
    } catch (const EDictionaryError& e) {
        EXPECT_STREQ(e.what(), "TDictionary.Get_Item - element \"nope\" not found in collection");
    }
}

TEST(StringToStringDictionary, OwnsItsTexts) {
    TStringToStringDictionary d(true, true);
    d.AddString("A", "one");
    d.SetString("a", "two");
    EXPECT_EQ(d.GetString("A"), "two");
    EXPECT_THROW(d.AddString("A", "three"), EDictionaryError);
    EXPECT_EQ(d.GetString("a"), "two");
    EXPECT_EQ(d.FindString("b"), nullptr);
}

struct TCounted {
    explicit TCounted(int* live) : Live(live) { ++*Live; }
    ~TCounted() { --*Live; }
    int* Live;
};

TEST(ObjectDictionary, OwningReplaceDeleteExtractClear) {
    int live = 0;
    TObjectDictionary<TCounted> d(true, true, true);
    d.Add("a", new TCounted(&live));
    d.Set_Item("A", new TCounted(&live));
    EXPECT_EQ(live, 1);  // the replaced object was destroyed
    d.Delete("missing"); // no error
    TCounted* kept = d.Extract("a");
    ASSERT_NE(kept, nullptr);
    EXPECT_EQ(live, 1);
    EXPECT_EQ(d.Find("a"), nullptr);
    delete kept;
    d.Add("x", new TCounted(&live));
    d.Add("y", new TCounted(&live));
    d.Delete("x");
    EXPECT_EQ(live, 1);
    d.Clear();
    EXPECT_EQ(live, 0);
    EXPECT_EQ(d.Count(), 0);
}

// An object that takes itself out of its dictionary while destroyed, as archive entries do.
struct TSelfRemoving {
    TSelfRemoving(TObjectDictionary<TSelfRemoving>* owner, std::string name)
        : Owner(owner), Name(std::move(name)) {}
    ~TSelfRemoving() {
        if (Owner) Owner->Extract(Name);
    }
    TObjectDictionary<TSelfRemoving>* Owner;
    std::string Name;
};

TEST(ObjectDictionary, ClearAndSetItemSurviveSelfRemovingObjects) {
    auto d = std::make_unique<TObjectDictionary<TSelfRemoving>>(true, true, true);
    for (const char* name : {"b", "a", "c"})
        d->Add(name, new TSelfRemoving(d.get(), name));
    d->Set_Item("B", new TSelfRemoving(d.get(), "B"));
    EXPECT_EQ(d->Count(), 3);
    d->Delete("a"); // the object leaves on its own; Delete must not then fail
    EXPECT_EQ(d->Count(), 2);
    d->Delete(d->Find("c")->Name); // the key is the object's own name, destroyed with it
    EXPECT_EQ(d->Count(), 1);
    d->Clear();
    EXPECT_EQ(d->Count(), 0);
    d->Add("z", new TSelfRemoving(d.get(), "z"));
    d.reset(); // destruction clears as well
}

TEST(ObjectDictionary, NonOwningLeavesObjectsAlive) {
    int live = 0;
    TCounted object(&live);
    {
        TObjectDictionary<TCounted> d(true, true, false);
        d.Add("a", &object);
        d.Set_Item("a", &object);
        d.Delete("a");
        d.Add("b", &object);
    }
    EXPECT_EQ(live, 1);
}

} // namespace
