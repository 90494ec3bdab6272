#include <CoreFoundation/CFNumber.h>
#include <CoreFoundation/CFRuntime.h>

#include <cmath>
#include <cstring>
#include <limits>

namespace {

struct NumberValue {
    bool isFloat;
    SInt64 integer;
    double real;
};

bool isFloatType(CFNumberType type)
{
    return type == kCFNumberFloat32Type || type == kCFNumberFloat64Type || type == kCFNumberFloatType
        || type == kCFNumberDoubleType;
}

bool isKnownType(int type)
{
    return type >= kCFNumberSInt8Type && type <= kCFNumberCFIndexType;
}

template<typename T>
T readAs(const void* valuePtr)
{
    T value;
    memcpy(&value, valuePtr, sizeof value);
    return value;
}

NumberValue read(CFNumberType type, const void* valuePtr)
{
    switch (type) {
    case kCFNumberSInt8Type: return { false, readAs<SInt8>(valuePtr), 0 };
    case kCFNumberCharType: return { false, readAs<char>(valuePtr), 0 };
    case kCFNumberSInt16Type: return { false, readAs<SInt16>(valuePtr), 0 };
    case kCFNumberShortType: return { false, readAs<short>(valuePtr), 0 };
    case kCFNumberSInt32Type: return { false, readAs<SInt32>(valuePtr), 0 };
    case kCFNumberIntType: return { false, readAs<int>(valuePtr), 0 };
    case kCFNumberLongType: return { false, readAs<long>(valuePtr), 0 };
    case kCFNumberCFIndexType: return { false, readAs<CFIndex>(valuePtr), 0 };
    case kCFNumberSInt64Type: return { false, readAs<SInt64>(valuePtr), 0 };
    case kCFNumberLongLongType: return { false, readAs<long long>(valuePtr), 0 };
    case kCFNumberFloat32Type:
    case kCFNumberFloatType: return { true, 0, readAs<float>(valuePtr) };
    default: return { true, 0, readAs<double>(valuePtr) };
    }
}

template<typename T>
bool writeInteger(const NumberValue& value, void* valuePtr)
{
    SInt64 wide = value.integer;
    bool exact = true;
    if (value.isFloat) {
        double truncated = std::trunc(value.real);
        exact = truncated == value.real;
        if (!(truncated >= static_cast<double>(std::numeric_limits<SInt64>::min())
                && truncated < static_cast<double>(std::numeric_limits<SInt64>::max())))
            return false;
        wide = static_cast<SInt64>(truncated);
    }
    T narrow = static_cast<T>(wide);
    memcpy(valuePtr, &narrow, sizeof narrow);
    return exact && static_cast<SInt64>(narrow) == wide;
}

template<typename T>
bool writeFloat(const NumberValue& value, void* valuePtr)
{
    T narrow = value.isFloat ? static_cast<T>(value.real) : static_cast<T>(value.integer);
    memcpy(valuePtr, &narrow, sizeof narrow);
    return value.isFloat ? (std::isnan(value.real) || static_cast<double>(narrow) == value.real)
                         : static_cast<SInt64>(narrow) == value.integer;
}

}

struct __CFNumber final : __CFRuntimeBase {
    __CFNumber(CFNumberType declaredType, NumberValue stored)
        : __CFRuntimeBase(classTypeID())
        , type(declaredType)
        , value(stored)
    {
    }

    static CFTypeID classTypeID()
    {
        static const CFTypeID typeID = _CFRuntimeRegisterClass("CFNumber");
        return typeID;
    }

    bool equals(const __CFRuntimeBase& other) const override
    {
        auto& that = static_cast<const __CFNumber&>(other);
        if (value.isFloat || that.value.isFloat)
            return asDouble() == that.asDouble();
        return value.integer == that.value.integer;
    }

    CFHashCode hash() const override
    {
        // Hash the value equals() compares across types, so that equal numbers hash equal even
        // where an integer has no exact double; 0 and -0.0 are equal, so both hash to 0.
        double compared = asDouble();
        return compared == 0 ? 0 : std::hash<double> {}(compared);
    }

    std::string describe() const override
    {
        if (!value.isFloat)
            return std::to_string(value.integer);
        char text[64];
        snprintf(text, sizeof text, "%.17g", value.real);
        return text;
    }

    double asDouble() const { return value.isFloat ? value.real : static_cast<double>(value.integer); }

    CFNumberType type;
    NumberValue value;
};

CFTypeID CFNumberGetTypeID(void)
{
    return __CFNumber::classTypeID();
}

CFNumberRef CFNumberCreate(CFAllocatorRef, CFNumberType theType, const void* valuePtr)
{
    if (!valuePtr || !isKnownType(theType))
        return nullptr;
    return new __CFNumber(theType, read(theType, valuePtr));
}

CFNumberType CFNumberGetType(CFNumberRef number)
{
    auto* object = _CFCast<__CFNumber>(number);
    return object ? object->type : static_cast<CFNumberType>(0);
}

Boolean CFNumberIsFloatType(CFNumberRef number)
{
    auto* object = _CFCast<__CFNumber>(number);
    return object && isFloatType(object->type);
}

Boolean CFNumberGetValue(CFNumberRef number, CFNumberType theType, void* valuePtr)
{
    auto* object = _CFCast<__CFNumber>(number);
    if (!object || !valuePtr || !isKnownType(theType))
        return false;
    const auto& value = object->value;
    switch (theType) {
    case kCFNumberSInt8Type: return writeInteger<SInt8>(value, valuePtr);
    case kCFNumberCharType: return writeInteger<char>(value, valuePtr);
    case kCFNumberSInt16Type: return writeInteger<SInt16>(value, valuePtr);
    case kCFNumberShortType: return writeInteger<short>(value, valuePtr);
    case kCFNumberSInt32Type: return writeInteger<SInt32>(value, valuePtr);
    case kCFNumberIntType: return writeInteger<int>(value, valuePtr);
    case kCFNumberLongType: return writeInteger<long>(value, valuePtr);
    case kCFNumberCFIndexType: return writeInteger<CFIndex>(value, valuePtr);
    case kCFNumberSInt64Type: return writeInteger<SInt64>(value, valuePtr);
    case kCFNumberLongLongType: return writeInteger<long long>(value, valuePtr);
    case kCFNumberFloat32Type:
    case kCFNumberFloatType: return writeFloat<float>(value, valuePtr);
    default: return writeFloat<double>(value, valuePtr);
    }
}
