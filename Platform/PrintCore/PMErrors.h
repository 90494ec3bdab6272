// Status numbers of the printing services.
#pragma once

enum {
    kPMInvalidPDEContext = -9530,
    kPMInvalidObject = -30879,
    kPMInvalidKey = -30888,
    kPMInvalidValue = -30889,
    kPMInvalidTicket = -30891,
    kPMKeyNotFound = -30895,
    kPMItemIsLocked = -30897,
};
