// The executable of the bundle Accounting.plugin: the extension's library behind its one
// exported entry point, AccountingPluginFactory, which the bundle's Info.plist names for the
// plug-in loader. Everything else in it is hidden.
#include "Accounting/PlugInFrame.h"
