#include "program/SecretWipe.h"

#include <cstring>

void wipeSecret(std::span<char> bytes)
{
    explicit_bzero(bytes.data(), bytes.size());
}

void wipeSecret(std::string& secret)
{
    wipeSecret(std::span<char>(secret));
    secret.clear();
}
