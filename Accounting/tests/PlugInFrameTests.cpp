#include "tests/support/LiveObjects.h"
#include "Accounting/PlugInFrame.h"
#include <CoreFoundation/CFStandIn.h>

namespace {

CFUUIDRef uuid(const char* text)
{
    CFStringRef string = CFStringCreateWithCString(kCFAllocatorDefault, text, kCFStringEncodingUTF8);
    CFUUIDRef made = CFUUIDCreateFromString(kCFAllocatorDefault, string);
    CFRelease(string);
    return made;
}

class PlugInFrameTest : public BalancedTest {
protected:
    void SetUp() override
    {
        BalancedTest::SetUp();
        pdeType = uuid(kPMPDEPlugInTypeIDStr);
        factoryID = uuid(kAccountingFactoryIDStr);
    }

    void TearDown() override
    {
        CFRelease(pdeType);
        CFRelease(factoryID);
        EXPECT_EQ(StandIn::plugInInstanceCount(nullptr), 0) << "every instance is unregistered";
        BalancedTest::TearDown();
    }

    IUnknownInstance* makeInstance() { return static_cast<IUnknownInstance*>(AccountingPluginFactory(kCFAllocatorDefault, pdeType)); }

    CFUUIDRef pdeType { nullptr };
    CFUUIDRef factoryID { nullptr };
};

TEST_F(PlugInFrameTest, OnlyTheDialogExtensionTypeMakesAnInstance)
{
    CFUUIDRef otherType = uuid("00000000-1111-2222-3333-444444444444");
    EXPECT_EQ(AccountingPluginFactory(kCFAllocatorDefault, otherType), nullptr);
    EXPECT_EQ(StandIn::plugInInstanceCount(factoryID), 0);
    CFRelease(otherType);

    IUnknownInstance* instance = makeInstance();
    ASSERT_NE(instance, nullptr);
    EXPECT_EQ(instance->refCount, 1u);
    EXPECT_EQ(instance->vtable, &instance->vtableStorage);
    EXPECT_EQ(StandIn::plugInInstanceCount(factoryID), 1);
    EXPECT_EQ(IUnknownRelease(instance), 0u);
    EXPECT_EQ(StandIn::plugInInstanceCount(factoryID), 0);
}

TEST_F(PlugInFrameTest, IUnknownGivesTheSameInstanceWithOneMoreReference)
{
    IUnknownInstance* instance = makeInstance();
    void* answer = reinterpret_cast<void*>(0xdeadbeef);
    EXPECT_EQ(QueryInterface(instance, CFUUIDGetUUIDBytes(IUnknownUUID), &answer), S_OK);
    EXPECT_EQ(answer, instance);
    EXPECT_EQ(instance->refCount, 2u);
    EXPECT_EQ(IUnknownRelease(instance), 1u);
    EXPECT_EQ(StandIn::plugInInstanceCount(factoryID), 1) << "still registered while referenced";
    EXPECT_EQ(IUnknownRelease(instance), 0u);
}

TEST_F(PlugInFrameTest, EachInterfaceRequestMakesItsOwnObjectAndTable)
{
    IUnknownInstance* instance = makeInstance();
    CFUUIDRef interfaceID = uuid(kPMPDEInterfaceIDStr);
    void* first = nullptr;
    void* second = nullptr;
    EXPECT_EQ(QueryInterface(instance, CFUUIDGetUUIDBytes(interfaceID), &first), S_OK);
    EXPECT_EQ(QueryInterface(instance, CFUUIDGetUUIDBytes(interfaceID), &second), S_OK);
    CFRelease(interfaceID);
    auto* a = static_cast<AccountingPlugInInterface*>(first);
    auto* b = static_cast<AccountingPlugInInterface*>(second);
    ASSERT_NE(a, nullptr);
    ASSERT_NE(b, nullptr);
    EXPECT_NE(a, b);
    EXPECT_NE(a->vtable, b->vtable);
    EXPECT_EQ(a->refCount, 1u);
    EXPECT_EQ(instance->refCount, 1u) << "an interface object lives by its own count";
    EXPECT_NE(a->vtable->Prologue, nullptr);
    EXPECT_NE(a->vtable->Terminate, nullptr);

    auto* header = reinterpret_cast<PMPlugInHeaderInterface*>(a);
    EXPECT_EQ(Retain(header), noErr);
    EXPECT_EQ(a->refCount, 2u);
    PMPlugInHeaderInterface* held = header;
    EXPECT_EQ(Release(&held), noErr);
    EXPECT_EQ(held, nullptr) << "the caller's pointer is cleared even though the object lives on";
    held = header;
    EXPECT_EQ(Release(&held), noErr);
    held = reinterpret_cast<PMPlugInHeaderInterface*>(b);
    EXPECT_EQ(Release(&held), noErr);
    IUnknownRelease(instance);
}

TEST_F(PlugInFrameTest, UnknownInterfacesAreRefused)
{
    IUnknownInstance* instance = makeInstance();
    CFUUIDRef other = uuid("12345678-1234-1234-1234-123456789ABC");
    void* answer = reinterpret_cast<void*>(0xdeadbeef);
    EXPECT_EQ(QueryInterface(instance, CFUUIDGetUUIDBytes(other), &answer), E_NOINTERFACE);
    EXPECT_EQ(answer, nullptr);
    CFRelease(other);
    IUnknownRelease(instance);
}

TEST_F(PlugInFrameTest, QueryInterfaceRefusesANullObjectOrOutPointer)
{
    IUnknownInstance* instance = makeInstance();
    CFUUIDRef interfaceID = uuid(kPMPDEInterfaceIDStr);
    for (CFUUIDRef wanted : { IUnknownUUID, static_cast<CFUUIDRef>(interfaceID) }) {
        void* answer = reinterpret_cast<void*>(0xdeadbeef);
        EXPECT_EQ(QueryInterface(nullptr, CFUUIDGetUUIDBytes(wanted), &answer), E_INVALIDARG);
        EXPECT_EQ(answer, nullptr) << "nothing is handed out for no object";
        EXPECT_EQ(QueryInterface(instance, CFUUIDGetUUIDBytes(wanted), nullptr), E_POINTER);
    }
    CFRelease(interfaceID);
    EXPECT_EQ(instance->refCount, 1u) << "a refused request holds no reference";
    EXPECT_EQ(IUnknownRelease(instance), 0u);
}

TEST_F(PlugInFrameTest, NullAndSpentObjectsAreHarmless)
{
    EXPECT_EQ(IUnknownAddRef(nullptr), 0u);
    EXPECT_EQ(IUnknownRelease(nullptr), 0u);
    EXPECT_EQ(Retain(nullptr), noErr);
    PMPlugInHeaderInterface* nothing = nullptr;
    EXPECT_EQ(Release(&nothing), noErr);

    IUnknownInstance spent = {};
    EXPECT_EQ(IUnknownRelease(&spent), 0u) << "a count already at zero frees nothing";

    PMPlugInAPIVersion version = { 9, 9, 9, 9 };
    EXPECT_EQ(GetAPIVersion(nullptr, &version), noErr);
    EXPECT_EQ(version.buildVersionMajor, 1u);
    EXPECT_EQ(version.buildVersionMinor, 0u);
    EXPECT_EQ(version.baseVersionMajor, 1u);
    EXPECT_EQ(version.baseVersionMinor, 0u);
}

}
