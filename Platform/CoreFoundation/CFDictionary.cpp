#include <CoreFoundation/CFDictionary.h>
#include <CoreFoundation/CFRuntime.h>
#include <CoreFoundation/CFString.h>

#include <vector>

namespace {

const void* retainType(CFAllocatorRef, const void* value)
{
    return CFRetain(value);
}

void releaseType(CFAllocatorRef, const void* value)
{
    CFRelease(value);
}

const void* copyStringKey(CFAllocatorRef allocator, const void* value)
{
    if (CFGetTypeID(value) == CFStringGetTypeID())
        return CFStringCreateCopy(allocator, static_cast<CFStringRef>(value));
    return CFRetain(value);
}

}

const CFDictionaryKeyCallBacks kCFTypeDictionaryKeyCallBacks = { 0, retainType, releaseType, CFCopyDescription, CFEqual, CFHash };
const CFDictionaryKeyCallBacks kCFCopyStringDictionaryKeyCallBacks = { 0, copyStringKey, releaseType, CFCopyDescription, CFEqual, CFHash };
const CFDictionaryValueCallBacks kCFTypeDictionaryValueCallBacks = { 0, retainType, releaseType, CFCopyDescription, CFEqual };

struct __CFDictionary final : __CFRuntimeBase {
    struct Entry {
        CFHashCode hash;
        const void* key;
        const void* value;
        // The next entry in the same bucket, or kNoEntry.
        size_t next;
    };
    static constexpr size_t kNoEntry = SIZE_MAX;

    __CFDictionary(const CFDictionaryKeyCallBacks* keys, const CFDictionaryValueCallBacks* values, bool isMutable)
        : __CFRuntimeBase(classTypeID())
        , keyCallBacks(keys ? *keys : CFDictionaryKeyCallBacks {})
        , valueCallBacks(values ? *values : CFDictionaryValueCallBacks {})
        , mutableDictionary(isMutable)
    {
    }

    ~__CFDictionary() override { removeAll(); }

    static CFTypeID classTypeID()
    {
        static const CFTypeID typeID = _CFRuntimeRegisterClass("CFDictionary");
        return typeID;
    }

    CFHashCode hashKey(const void* key) const
    {
        return keyCallBacks.hash ? keyCallBacks.hash(key) : reinterpret_cast<CFHashCode>(key);
    }

    Entry* find(const void* key)
    {
        if (buckets.empty())
            return nullptr;
        CFHashCode hash = hashKey(key);
        for (size_t i = buckets[bucketOf(hash)]; i != kNoEntry; i = entries[i].next) {
            Entry& entry = entries[i];
            if (entry.hash == hash && (entry.key == key || (keyCallBacks.equal && keyCallBacks.equal(entry.key, key))))
                return &entry;
        }
        return nullptr;
    }

    size_t bucketOf(CFHashCode hash) const
    {
        // Mixed, so that hash codes that differ only in their high bits still spread.
        return (hash * 0x9E3779B97F4A7C15ULL >> 17) & (buckets.size() - 1);
    }

    void link(size_t index)
    {
        size_t& head = buckets[bucketOf(entries[index].hash)];
        entries[index].next = head;
        head = index;
    }

    // Keeps the buckets at least twice as many as the entries.
    void rebuildIndex()
    {
        size_t size = 8;
        while (size < entries.size() * 2)
            size *= 2;
        buckets.assign(size, kNoEntry);
        for (size_t i = 0; i < entries.size(); ++i)
            link(i);
    }

    bool valuesEqual(const void* a, const void* b) const
    {
        return a == b || (valueCallBacks.equal && valueCallBacks.equal(a, b));
    }

    bool equals(const __CFRuntimeBase& other) const override
    {
        auto& that = const_cast<__CFDictionary&>(static_cast<const __CFDictionary&>(other));
        if (entries.size() != that.entries.size())
            return false;
        for (auto& entry : entries) {
            Entry* match = that.find(entry.key);
            if (!match || !valuesEqual(entry.value, match->value))
                return false;
        }
        return true;
    }

    CFHashCode hash() const override { return entries.size(); }

    void add(const void* key, const void* value)
    {
        const void* heldKey = keyCallBacks.retain ? keyCallBacks.retain(kCFAllocatorDefault, key) : key;
        entries.push_back({ hashKey(heldKey), heldKey, retainValue(value), kNoEntry });
        if (entries.size() * 2 > buckets.size())
            rebuildIndex();
        else
            link(entries.size() - 1);
    }

    const void* retainValue(const void* value) const
    {
        return valueCallBacks.retain ? valueCallBacks.retain(kCFAllocatorDefault, value) : value;
    }

    void releaseValue(const void* value) const
    {
        if (valueCallBacks.release)
            valueCallBacks.release(kCFAllocatorDefault, value);
    }

    void releaseKey(const void* key) const
    {
        if (keyCallBacks.release)
            keyCallBacks.release(kCFAllocatorDefault, key);
    }

    void replace(Entry& entry, const void* value)
    {
        const void* old = entry.value;
        entry.value = retainValue(value);
        releaseValue(old);
    }

    void removeAll()
    {
        // Releasing may run arbitrary code; empty the table first so it never sees a freed entry.
        auto old = std::move(entries);
        entries.clear();
        buckets.clear();
        for (auto& entry : old) {
            releaseKey(entry.key);
            releaseValue(entry.value);
        }
    }

    CFDictionaryKeyCallBacks keyCallBacks;
    CFDictionaryValueCallBacks valueCallBacks;
    bool mutableDictionary;
    // Insertion order, for listing; the buckets find an entry by its key's hash, each holding
    // the first entry of a chain through Entry::next.
    std::vector<Entry> entries;
    std::vector<size_t> buckets;
};

namespace {

__CFDictionary* mutableDictionary(CFMutableDictionaryRef theDict)
{
    auto* dictionary = _CFCast<__CFDictionary>(theDict);
    return dictionary && dictionary->mutableDictionary ? dictionary : nullptr;
}

}

CFTypeID CFDictionaryGetTypeID(void)
{
    return __CFDictionary::classTypeID();
}

CFDictionaryRef CFDictionaryCreate(CFAllocatorRef, const void** keys, const void** values, CFIndex numValues,
    const CFDictionaryKeyCallBacks* keyCallBacks, const CFDictionaryValueCallBacks* valueCallBacks)
{
    if (numValues < 0 || (numValues > 0 && (!keys || !values)))
        return nullptr;
    auto* dictionary = new __CFDictionary(keyCallBacks, valueCallBacks, false);
    for (CFIndex i = 0; i < numValues; ++i) {
        if (auto* entry = dictionary->find(keys[i]))
            dictionary->replace(*entry, values[i]);
        else
            dictionary->add(keys[i], values[i]);
    }
    return dictionary;
}

CFMutableDictionaryRef CFDictionaryCreateMutable(CFAllocatorRef, CFIndex capacity,
    const CFDictionaryKeyCallBacks* keyCallBacks, const CFDictionaryValueCallBacks* valueCallBacks)
{
    if (capacity < 0)
        return nullptr;
    return new __CFDictionary(keyCallBacks, valueCallBacks, true);
}

CFIndex CFDictionaryGetCount(CFDictionaryRef theDict)
{
    auto* dictionary = _CFCast<__CFDictionary>(theDict);
    return dictionary ? static_cast<CFIndex>(dictionary->entries.size()) : 0;
}

const void* CFDictionaryGetValue(CFDictionaryRef theDict, const void* key)
{
    const void* value = nullptr;
    CFDictionaryGetValueIfPresent(theDict, key, &value);
    return value;
}

Boolean CFDictionaryGetValueIfPresent(CFDictionaryRef theDict, const void* key, const void** value)
{
    auto* dictionary = _CFCast<__CFDictionary>(theDict);
    auto* entry = dictionary ? dictionary->find(key) : nullptr;
    if (!entry)
        return false;
    if (value)
        *value = entry->value;
    return true;
}

Boolean CFDictionaryContainsKey(CFDictionaryRef theDict, const void* key)
{
    return CFDictionaryGetValueIfPresent(theDict, key, nullptr);
}

void CFDictionaryGetKeysAndValues(CFDictionaryRef theDict, const void** keys, const void** values)
{
    auto* dictionary = _CFCast<__CFDictionary>(theDict);
    if (!dictionary)
        return;
    for (size_t i = 0; i < dictionary->entries.size(); ++i) {
        if (keys)
            keys[i] = dictionary->entries[i].key;
        if (values)
            values[i] = dictionary->entries[i].value;
    }
}

void CFDictionaryApplyFunction(CFDictionaryRef theDict, CFDictionaryApplierFunction applier, void* context)
{
    auto* dictionary = _CFCast<__CFDictionary>(theDict);
    if (!dictionary || !applier)
        return;
    auto snapshot = dictionary->entries;
    for (auto& entry : snapshot)
        applier(entry.key, entry.value, context);
}

void CFDictionaryAddValue(CFMutableDictionaryRef theDict, const void* key, const void* value)
{
    auto* dictionary = mutableDictionary(theDict);
    if (dictionary && !dictionary->find(key))
        dictionary->add(key, value);
}

void CFDictionarySetValue(CFMutableDictionaryRef theDict, const void* key, const void* value)
{
    auto* dictionary = mutableDictionary(theDict);
    if (!dictionary)
        return;
    if (auto* entry = dictionary->find(key))
        dictionary->replace(*entry, value);
    else
        dictionary->add(key, value);
}

void CFDictionaryReplaceValue(CFMutableDictionaryRef theDict, const void* key, const void* value)
{
    auto* dictionary = mutableDictionary(theDict);
    if (!dictionary)
        return;
    if (auto* entry = dictionary->find(key))
        dictionary->replace(*entry, value);
}

void CFDictionaryRemoveValue(CFMutableDictionaryRef theDict, const void* key)
{
    auto* dictionary = mutableDictionary(theDict);
    auto* entry = dictionary ? dictionary->find(key) : nullptr;
    if (!entry)
        return;
    auto removed = *entry;
    dictionary->entries.erase(dictionary->entries.begin() + (entry - dictionary->entries.data()));
    dictionary->rebuildIndex();
    dictionary->releaseKey(removed.key);
    dictionary->releaseValue(removed.value);
}

void CFDictionaryRemoveAllValues(CFMutableDictionaryRef theDict)
{
    if (auto* dictionary = mutableDictionary(theDict))
        dictionary->removeAll();
}
