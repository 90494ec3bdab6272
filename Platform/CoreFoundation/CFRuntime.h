// Inside the stand-in: the object model behind every reference-counted type. Each type is a
// class derived from __CFRuntimeBase and registered once for its type id; CFRetain and
// CFRelease act on the count kept here, and every live object is counted per type.
#pragma once

#include <CoreFoundation/CFBase.h>

#include <string>

struct __CFRuntimeBase {
    explicit __CFRuntimeBase(CFTypeID typeID);
    virtual ~__CFRuntimeBase();

    __CFRuntimeBase(const __CFRuntimeBase&) = delete;
    __CFRuntimeBase& operator=(const __CFRuntimeBase&) = delete;

    // Called only with another object of the same type id.
    virtual bool equals(const __CFRuntimeBase& other) const { return this == &other; }
    virtual CFHashCode hash() const { return reinterpret_cast<CFHashCode>(this); }
    // What %@ in a format and CFCopyDescription show.
    virtual std::string describe() const;

    // Objects that live for the whole process (constant strings, constant UUIDs): retains and
    // releases leave them alone and they are not counted as live.
    void makeImmortal();
    bool isImmortal() const { return m_immortal; }

    CFTypeID typeID() const { return m_typeID; }
    CFIndex retainCount() const { return m_retainCount; }

private:
    friend CFTypeRef CFRetain(CFTypeRef);
    friend void CFRelease(CFTypeRef);

    CFTypeID m_typeID;
    CFIndex m_retainCount { 1 };
    bool m_immortal { false };
};

CFTypeID _CFRuntimeRegisterClass(const char* name);

inline const __CFRuntimeBase* _CFObject(CFTypeRef cf)
{
    return static_cast<const __CFRuntimeBase*>(cf);
}

// The object behind cf when it is of type T, else null: calls given an object of the wrong
// type do nothing instead of crashing.
template<typename T>
T* _CFCast(CFTypeRef cf)
{
    if (!cf || _CFObject(cf)->typeID() != T::classTypeID())
        return nullptr;
    return static_cast<T*>(const_cast<__CFRuntimeBase*>(_CFObject(cf)));
}
