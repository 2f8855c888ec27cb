#include "u_Dictionary.h"

#include "u_SysUtils.h"
#include "u_Text.h"

#include <memory>

namespace {
constexpr const char* SDuplicateItem = "%s - element \"%s\" is already in collection";
constexpr const char* SItemNotFound = "%s - element \"%s\" not found in collection";
} // namespace

TDictionary::TDictionary(bool caseInsensitive, bool sorted)
    : FCaseInsensitive(caseInsensitive), FSorted(sorted) {
    if (caseInsensitive)
        FKeyTree.OnCompare = [](TRBKey a, TRBKey b) {
            return AnsiCompareText(reinterpret_cast<const TKey*>(a)->View,
                                   reinterpret_cast<const TKey*>(b)->View);
        };
    else
        FKeyTree.OnCompare = [](TRBKey a, TRBKey b) {
            return CompareStr(reinterpret_cast<const TKey*>(a)->View, reinterpret_cast<const TKey*>(b)->View);
        };
    FKeyTree.OnDelete = [this](TRBTree*, TRBKey key, void* data) { RemovalHandler(key, data); };
    if (!sorted) FOrderTree = new TRBTree();
}

TDictionary::~TDictionary() {
    Clear();
    delete FOrderTree;
}

void TDictionary::Notify(const std::string&, TValue, TNotifyAction) {}

TRBNode* TDictionary::FindEntry(std::string_view key) const {
    TKey probe{{}, key, 0};
    return FKeyTree.FindNode(FKeyTree.Root(), reinterpret_cast<TRBKey>(&probe));
}

void TDictionary::RemovalHandler(TRBKey key, void* data) {
    TKey* k = reinterpret_cast<TKey*>(key);
    const std::string name = std::move(k->Name);
    if (FOrderTree) FOrderTree->Remove(k->Number);
    delete k;
    Notify(name, data, naRemoved);
}

void TDictionary::Add(std::string_view key, TValue value) {
    // The tree owns the key once it has taken it; until then a failure (also to allocate its node)
    // frees it here.
    auto owned = std::make_unique<TKey>(TKey{std::string(key), {}, FNextNumber++});
    TKey* k = owned.get();
    k->View = k->Name;
    if (!FKeyTree.Add(reinterpret_cast<TRBKey>(k), value))
        throw EDictionaryError(Format(SDuplicateItem, "TDictionary.Add", std::string(key).c_str()));
    owned.release();
    if (FOrderTree) FOrderTree->Add(k->Number, k);
    Notify(k->Name, value, naAdded);
}

void TDictionary::Set_Item(std::string_view key, TValue value) {
    const int32_t number = FNextNumber++; // used up even when the key turns out to be present
    TRBNode* node = FindEntry(key);
    if (node == FKeyTree.Sentinel()) {
        auto owned = std::make_unique<TKey>(TKey{std::string(key), {}, number});
        TKey* k = owned.get();
        k->View = k->Name;
        FKeyTree.Add(reinterpret_cast<TRBKey>(k), value);
        owned.release();
        if (FOrderTree) FOrderTree->Add(k->Number, k);
        Notify(k->Name, value, naAdded);
        return;
    }
    const std::string name(key);
    Notify(name, node->Data, naRemoved);
    node->Data = value;
    Notify(name, value, naAdded);
}

TDictionary::TValue TDictionary::Get_Item(std::string_view key) const {
    TRBNode* node = FindEntry(key);
    if (node == FKeyTree.Sentinel())
        throw EDictionaryError(Format(SItemNotFound, "TDictionary.Get_Item", std::string(key).c_str()));
    return node->Data;
}

TDictionary::TValue TDictionary::Find(std::string_view key, TValue defaultValue) const {
    TRBNode* node = FindEntry(key);
    return node == FKeyTree.Sentinel() ? defaultValue : node->Data;
}

bool TDictionary::Exists(std::string_view key) const {
    return FindEntry(key) != FKeyTree.Sentinel();
}

void TDictionary::Delete(std::string_view key) {
    TRBNode* node = FindEntry(key);
    if (node == FKeyTree.Sentinel())
        throw EDictionaryError(Format(SItemNotFound, "TDictionary.Delete", std::string(key).c_str()));
    FKeyTree.RemoveNode(node);
}

bool TDictionary::RemoveFirst(TValue& value) {
    TRBNode* node = FKeyTree.Sentinel();
    if (FSorted) {
        node = FKeyTree.First(FKeyTree.Root());
    } else if (TRBNode* first = FOrderTree->First(FOrderTree->Root()); first != FOrderTree->Sentinel()) {
        node = FindEntry(static_cast<const TKey*>(first->Data)->Name);
    }
    if (node == FKeyTree.Sentinel()) return false;
    value = node->Data;
    FKeyTree.RemoveNode(node);
    return true;
}

std::vector<std::string> TDictionary::Keys() const {
    std::vector<std::string> keys;
    keys.reserve(static_cast<size_t>(Count()));
    ForEach([&](const std::string& key, TValue) { keys.push_back(key); });
    return keys;
}

std::vector<TDictionary::TValue> TDictionary::Values() const {
    std::vector<TValue> values;
    values.reserve(static_cast<size_t>(Count()));
    ForEach([&](const std::string&, TValue value) { values.push_back(value); });
    return values;
}

void TDictionary::Clear() {
    FKeyTree.Clear();
    FNextNumber = 0;
}

// TStringToStringDictionary

TStringToStringDictionary::~TStringToStringDictionary() {
    Clear();
}

void TStringToStringDictionary::Notify(const std::string&, TValue value, TNotifyAction action) {
    if (action == naRemoved) delete static_cast<std::string*>(value);
}

void TStringToStringDictionary::AddString(std::string_view key, std::string_view text) {
    auto* copy = new std::string(text);
    try {
        Add(key, copy);
    } catch (...) {
        delete copy;
        throw;
    }
}

void TStringToStringDictionary::SetString(std::string_view key, std::string_view text) {
    auto* copy = new std::string(text);
    try {
        Set_Item(key, copy);
    } catch (...) {
        delete copy;
        throw;
    }
}

const std::string& TStringToStringDictionary::GetString(std::string_view key) const {
    return *static_cast<const std::string*>(Get_Item(key));
}

const std::string* TStringToStringDictionary::FindString(std::string_view key) const {
    return static_cast<const std::string*>(Find(key, nullptr));
}
