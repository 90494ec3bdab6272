#include <CoreFoundation/CFArray.h>
#include <CoreFoundation/CFRuntime.h>

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

}

const CFArrayCallBacks kCFTypeArrayCallBacks = { 0, retainType, releaseType, CFCopyDescription, CFEqual };

struct __CFArray final : __CFRuntimeBase {
    __CFArray(const CFArrayCallBacks* given, CFIndex maximum, bool isMutable)
        : __CFRuntimeBase(classTypeID())
        , callBacks(given ? *given : CFArrayCallBacks {})
        , capacity(maximum)
        , mutableArray(isMutable)
    {
    }

    ~__CFArray() override
    {
        for (const void* value : values)
            releaseValue(value);
    }

    static CFTypeID classTypeID()
    {
        static const CFTypeID typeID = _CFRuntimeRegisterClass("CFArray");
        return typeID;
    }

    bool valuesEqual(const void* a, const void* b) const
    {
        return a == b || (callBacks.equal && callBacks.equal(a, b));
    }

    bool equals(const __CFRuntimeBase& other) const override
    {
        auto& that = static_cast<const __CFArray&>(other);
        if (values.size() != that.values.size())
            return false;
        for (size_t i = 0; i < values.size(); ++i) {
            if (!valuesEqual(values[i], that.values[i]))
                return false;
        }
        return true;
    }

    CFHashCode hash() const override { return values.size(); }

    const void* retainValue(const void* value) const
    {
        return callBacks.retain ? callBacks.retain(kCFAllocatorDefault, value) : value;
    }

    void releaseValue(const void* value) const
    {
        if (callBacks.release)
            callBacks.release(kCFAllocatorDefault, value);
    }

    bool isFull() const { return capacity > 0 && static_cast<CFIndex>(values.size()) >= capacity; }

    CFArrayCallBacks callBacks;
    CFIndex capacity;
    bool mutableArray;
    std::vector<const void*> values;
};

namespace {

__CFArray* mutableArray(CFMutableArrayRef theArray)
{
    auto* array = _CFCast<__CFArray>(theArray);
    return array && array->mutableArray ? array : nullptr;
}

bool rangeFits(const __CFArray& array, CFRange range)
{
    return range.location >= 0 && range.length >= 0
        && static_cast<size_t>(range.location) + range.length <= array.values.size();
}

}

CFTypeID CFArrayGetTypeID(void)
{
    return __CFArray::classTypeID();
}

CFArrayRef CFArrayCreate(CFAllocatorRef, const void** values, CFIndex numValues, const CFArrayCallBacks* callBacks)
{
    if (numValues < 0 || (!values && numValues > 0))
        return nullptr;
    auto* array = new __CFArray(callBacks, 0, false);
    array->values.reserve(numValues);
    for (CFIndex i = 0; i < numValues; ++i)
        array->values.push_back(array->retainValue(values[i]));
    return array;
}

CFMutableArrayRef CFArrayCreateMutable(CFAllocatorRef, CFIndex capacity, const CFArrayCallBacks* callBacks)
{
    if (capacity < 0)
        return nullptr;
    return new __CFArray(callBacks, capacity, true);
}

CFIndex CFArrayGetCount(CFArrayRef theArray)
{
    auto* array = _CFCast<__CFArray>(theArray);
    return array ? static_cast<CFIndex>(array->values.size()) : 0;
}

const void* CFArrayGetValueAtIndex(CFArrayRef theArray, CFIndex idx)
{
    auto* array = _CFCast<__CFArray>(theArray);
    if (!array || idx < 0 || static_cast<size_t>(idx) >= array->values.size())
        return nullptr;
    return array->values[idx];
}

CFIndex CFArrayGetFirstIndexOfValue(CFArrayRef theArray, CFRange range, const void* value)
{
    auto* array = _CFCast<__CFArray>(theArray);
    if (!array || !rangeFits(*array, range))
        return kCFNotFound;
    for (CFIndex i = range.location; i < range.location + range.length; ++i) {
        if (array->valuesEqual(array->values[i], value))
            return i;
    }
    return kCFNotFound;
}

void CFArrayApplyFunction(CFArrayRef theArray, CFRange range, CFArrayApplierFunction applier, void* context)
{
    auto* array = _CFCast<__CFArray>(theArray);
    if (!array || !applier || !rangeFits(*array, range))
        return;
    for (CFIndex i = range.location; i < range.location + range.length; ++i)
        applier(array->values[i], context);
}

void CFArrayAppendValue(CFMutableArrayRef theArray, const void* value)
{
    CFArrayInsertValueAtIndex(theArray, CFArrayGetCount(theArray), value);
}

void CFArrayInsertValueAtIndex(CFMutableArrayRef theArray, CFIndex idx, const void* value)
{
    auto* array = mutableArray(theArray);
    if (!array || array->isFull() || idx < 0 || static_cast<size_t>(idx) > array->values.size())
        return;
    array->values.insert(array->values.begin() + idx, array->retainValue(value));
}

void CFArraySetValueAtIndex(CFMutableArrayRef theArray, CFIndex idx, const void* value)
{
    auto* array = mutableArray(theArray);
    if (!array || idx < 0 || static_cast<size_t>(idx) > array->values.size())
        return;
    if (static_cast<size_t>(idx) == array->values.size()) {
        CFArrayAppendValue(theArray, value);
        return;
    }
    const void* old = array->values[idx];
    array->values[idx] = array->retainValue(value);
    array->releaseValue(old);
}

void CFArrayRemoveValueAtIndex(CFMutableArrayRef theArray, CFIndex idx)
{
    auto* array = mutableArray(theArray);
    if (!array || idx < 0 || static_cast<size_t>(idx) >= array->values.size())
        return;
    const void* old = array->values[idx];
    array->values.erase(array->values.begin() + idx);
    array->releaseValue(old);
}

void CFArrayRemoveAllValues(CFMutableArrayRef theArray)
{
    auto* array = mutableArray(theArray);
    if (!array)
        return;
    auto old = std::move(array->values);
    array->values.clear();
    for (const void* value : old)
        array->releaseValue(value);
}
