// A bundle's code: loaded with dlopen at the first need, found by function name, unloaded with
// the bundle.
#include <CoreFoundation/CFBundlePrivate.h>

#include <CoreFoundation/CFString.h>

#include <cstdio>
#include <dlfcn.h>

namespace {

// The bundle's code: Contents/MacOS/ and the name CFBundleExecutable gives, as the
// platform lays bundles out.
std::optional<std::string> executablePath(const __CFBundle& bundle)
{
    auto name = _CFBundleUTF8(CFDictionaryGetValue(bundle.info, CFSTR("CFBundleExecutable")));
    if (!name || name->empty() || name->find('/') != std::string::npos || *name == "..")
        return std::nullopt;
    return bundle.contentsPath + "/MacOS/" + *name;
}

}

CFURLRef CFBundleCopyExecutableURL(CFBundleRef bundle)
{
    auto* object = _CFCast<__CFBundle>(bundle);
    auto path = object ? executablePath(*object) : std::nullopt;
    return path && _CFBundlePathExists(*path) ? _CFBundleCreateURL(*path, false) : nullptr;
}

Boolean CFBundleLoadExecutable(CFBundleRef bundle)
{
    auto* object = _CFCast<__CFBundle>(bundle);
    if (!object)
        return false;
    if (object->executable)
        return true;
    auto path = executablePath(*object);
    if (!path)
        return false;
    object->executable = dlopen(path->c_str(), RTLD_NOW | RTLD_LOCAL);
    if (!object->executable)
        fprintf(stderr, "CFBundle: cannot load %s: %s\n", path->c_str(), dlerror());
    return object->executable != nullptr;
}

Boolean CFBundleIsExecutableLoaded(CFBundleRef bundle)
{
    auto* object = _CFCast<__CFBundle>(bundle);
    return object && object->executable;
}

void* CFBundleGetFunctionPointerForName(CFBundleRef bundle, CFStringRef functionName)
{
    auto name = _CFBundleUTF8(functionName);
    if (!name || name->empty() || !CFBundleLoadExecutable(bundle))
        return nullptr;
    return dlsym(_CFCast<__CFBundle>(bundle)->executable, name->c_str());
}

void _CFBundleUnloadExecutable(__CFBundle& bundle)
{
    if (bundle.executable)
        dlclose(bundle.executable);
    bundle.executable = nullptr;
}
