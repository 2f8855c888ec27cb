// String-keyed containers. A TDictionary is two red-black trees: the key tree, ordered by the key
// comparison and holding the values, and (when insertion order is kept) an order tree from
// insertion number to key. Every dictionary in the program is case-insensitive and sorted.
#pragma once

#include "u_RBTree.h"

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

class TDictionary {
  public:
    using TValue = void*;
    enum TNotifyAction : int { naAdded = 0, naRemoved = 2 };

    TDictionary(bool caseInsensitive, bool sorted);
    TDictionary(const TDictionary&) = delete;
    TDictionary& operator=(const TDictionary&) = delete;
    // Removes every entry through the removal handler. Subclasses whose Notify releases values
    // clear in their own destructor, while their Notify is still theirs.
    virtual ~TDictionary();

    void Add(std::string_view key, TValue value);
    void Set_Item(std::string_view key, TValue value);
    TValue Get_Item(std::string_view key) const;
    TValue Find(std::string_view key, TValue defaultValue) const;
    bool Exists(std::string_view key) const;
    void Delete(std::string_view key);
    int32_t Count() const { return FKeyTree.Count(); }
    // Keys and values in enumeration order.
    std::vector<std::string> Keys() const;
    std::vector<TValue> Values() const;
    void Clear();
    // Removes the first entry in enumeration order (notified like any removal) and gives its
    // value; false when there is none. Allocates nothing, so that destructors can empty a
    // dictionary one entry at a time.
    bool RemoveFirst(TValue& value);

    bool CaseInsensitive() const { return FCaseInsensitive; }
    bool Sorted() const { return FSorted; }

    // Calls f(key, value) for every entry in enumeration order. f must not change the dictionary.
    template <class F> void ForEach(F f) const {
        if (FSorted) {
            for (TRBNode* n = FKeyTree.First(FKeyTree.Root()); n != FKeyTree.Sentinel(); n = FKeyTree.Next(n))
                f(KeyOf(n)->Name, n->Data);
        } else {
            for (TRBNode* n = FOrderTree->First(FOrderTree->Root()); n != FOrderTree->Sentinel();
                 n = FOrderTree->Next(n)) {
                const TKey* key = static_cast<const TKey*>(n->Data);
                f(key->Name, FindEntry(key->Name)->Data);
            }
        }
    }

  protected:
    // Called when a value has been added (naAdded) and when one is being removed or replaced
    // (naRemoved). During a removal the entry's key is already released.
    virtual void Notify(const std::string& key, TValue value, TNotifyAction action);

  private:
    struct TKey {
        std::string Name;
        std::string_view View; // what the comparison reads: Name, or a caller's text for a lookup
        int32_t Number;
    };
    static const TKey* KeyOf(const TRBNode* node) { return reinterpret_cast<const TKey*>(node->Key); }
    TRBNode* FindEntry(std::string_view key) const;
    void RemovalHandler(TRBKey key, void* data);

    bool FCaseInsensitive;
    bool FSorted;
    TCustomCompareRBTree FKeyTree;
    TRBTree* FOrderTree = nullptr; // present only when insertion order is kept
    int32_t FNextNumber = 0;
};

// Values are texts the dictionary owns.
class TStringToStringDictionary : public TDictionary {
  public:
    using TDictionary::TDictionary;
    ~TStringToStringDictionary() override;

    void AddString(std::string_view key, std::string_view text);
    void SetString(std::string_view key, std::string_view text);
    const std::string& GetString(std::string_view key) const;
    // The text under key, or nullptr when absent.
    const std::string* FindString(std::string_view key) const;

  protected:
    void Notify(const std::string& key, TValue value, TNotifyAction action) override;
};

// Values are objects of type T, destroyed by the dictionary when it owns them.
template <class T> class TObjectDictionary {
  public:
    TObjectDictionary(bool caseInsensitive, bool sorted, bool ownsObjects)
        : OwnsObjects(ownsObjects), FDictionary(caseInsensitive, sorted) {}
    TObjectDictionary(const TObjectDictionary&) = delete;
    TObjectDictionary& operator=(const TObjectDictionary&) = delete;
    ~TObjectDictionary() { Clear(); }

    void Add(std::string_view key, T* object) { FDictionary.Add(key, object); }
    void Set_Item(std::string_view key, T* object) {
        // The key is copied first: it may be the old object's own name. The old object may take
        // itself out of this dictionary while it is destroyed; the wrapped Set_Item then finds
        // the key gone and inserts.
        const std::string name(key);
        if (OwnsObjects) delete Find(name);
        FDictionary.Set_Item(name, object);
    }
    T* Find(std::string_view key) const { return static_cast<T*>(FDictionary.Find(key, nullptr)); }
    void Delete(std::string_view key) {
        const std::string name(key); // the key may be the object's own name, gone with it
        if (!FDictionary.Exists(name)) return;
        if (OwnsObjects) delete Find(name);
        // An object that took itself out while destroyed has already left.
        if (FDictionary.Exists(name)) FDictionary.Delete(name);
    }
    T* Extract(std::string_view key) {
        T* object = Find(key);
        if (object) FDictionary.Delete(key);
        return object;
    }
    int32_t Count() const { return FDictionary.Count(); }
    std::vector<T*> Values() const {
        std::vector<T*> result;
        result.reserve(static_cast<size_t>(Count()));
        FDictionary.ForEach(
            [&](const std::string&, void* value) { result.push_back(static_cast<T*>(value)); });
        return result;
    }
    std::vector<std::string> Keys() const { return FDictionary.Keys(); }
    template <class F> void ForEach(F f) const {
        FDictionary.ForEach([&](const std::string& key, void* value) { f(key, static_cast<T*>(value)); });
    }
    void Clear() {
        if (OwnsObjects) {
            // One object at a time, taken out before it is destroyed (it may look for itself here
            // while destroyed). Allocates nothing: destructors clear, and must not fail.
            TDictionary::TValue object = nullptr;
            while (FDictionary.RemoveFirst(object))
                delete static_cast<T*>(object);
        }
        FDictionary.Clear();
    }

    bool OwnsObjects;

  private:
    TDictionary FDictionary;
};
