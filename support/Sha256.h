#pragma once
// SHA-256 of bytes fed in pieces, from OpenSSL's libcrypto.

#include <cstddef>
#include <string>

struct evp_md_ctx_st;

class Sha256 {
public:
    Sha256();
    ~Sha256();
    Sha256(const Sha256&) = delete;
    Sha256& operator=(const Sha256&) = delete;

    void Update(const void* data, std::size_t size);
    // 64 lower-case hex digits of everything fed so far; ends the digest.
    std::string HexDigest();

private:
    evp_md_ctx_st* m_context;
};
