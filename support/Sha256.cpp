#include "support/Sha256.h"

#include <openssl/evp.h>

Sha256::Sha256() : m_context(EVP_MD_CTX_new()) {
    if (m_context != nullptr && EVP_DigestInit_ex(m_context, EVP_sha256(), nullptr) != 1) {
        EVP_MD_CTX_free(m_context);
        m_context = nullptr;
    }
}

Sha256::~Sha256() {
    EVP_MD_CTX_free(m_context);
}

void Sha256::Update(const void* data, std::size_t size) {
    if (m_context != nullptr && size > 0)
        EVP_DigestUpdate(m_context, data, size);
}

std::string Sha256::HexDigest() {
    unsigned char digest[EVP_MAX_MD_SIZE];
    unsigned int size = 0;
    // Without a context (out of memory) there is no digest to give.
    if (m_context == nullptr || EVP_DigestFinal_ex(m_context, digest, &size) != 1)
        return {};
    static constexpr char kHex[] = "0123456789abcdef";
    std::string hex;
    for (unsigned int i = 0; i < size; ++i) {
        hex.push_back(kHex[digest[i] >> 4]);
        hex.push_back(kHex[digest[i] & 15]);
    }
    return hex;
}
