// The certificates trusted for CUPS servers on other machines: one for each server as
// CupsConnection::key names it ("host:port", the host in lower case), kept as PEM in the user's
// ~/.cups/ssl (root's in CUPS's own ssl folder) under that name, "print.example.com:631.crt", a
// name libcups never writes itself (it makes every ':' a '_'). Earlier versions let libcups keep
// them under the host as it was spelled, without its port ("PrintHost.crt"): those are still
// read, in any case of the host, for a server that has none of the new name yet, so that a
// desktop neither trusts its servers anew nor lets another spelling pass a kept certificate.
//
// Only a missing file is no certificate: anything else at a kept certificate's name that does
// not hold one (an empty file, half a PEM, a device, a folder) is a certificate that cannot be
// read, which refuses the server rather than trusting whatever it shows, and is never written
// over.
#pragma once

#include "program/ProgramsExport.h"

#include <string>
#include <vector>

struct KeptCertificate {
    std::string file;
    // Its DER bytes; empty when the file cannot be read, and problem says why.
    std::vector<unsigned char> certificate;
    std::string problem;
};

// What is kept for the server key reached by the host as spelled: the file of its own name, or
// else every file of an earlier version for the host; none for a server never met.
std::vector<KeptCertificate> keptCertificates(const std::string& key, const std::string& host);
// Where the certificate trusted for the server key is kept.
std::string keptCertificateFile(const std::string& key);
// Keeps certificate (DER) as the one trusted for the server key, readable by all and never in
// place of a file already there. False, with the reason in *error (naming the file).
bool keepCertificate(const std::string& key, const std::vector<unsigned char>& certificate, std::string* error);
// A certificate's (DER) SHA-256 fingerprint as openssl shows it: pairs of hexadecimal digits
// between colons; "none" for no certificate.
std::string certificateFingerprint(const std::vector<unsigned char>& certificate);
// The SHA-256 fingerprint of the certificate trusted for the server key ("AB:CD:..."), for a
// person to hold beside the one the server's administrator gives; empty when none is kept, or
// the one kept cannot be read.
PROGRAMS_EXPORT std::string keptCertificateFingerprint(const std::string& key);
