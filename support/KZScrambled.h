// Compile-time scrambling of the maker's addresses: Base64, then reversed, so
// the plain text never stands in the binary. KZ_StringDelacement undoes it.
#pragma once

#include <cstddef>

template <std::size_t N>
struct KZScrambled {
    static constexpr std::size_t size = ((N - 1 + 2) / 3) * 4;
    char data[size + 1] = {};
    constexpr std::size_t length() const { return size; }
};

template <std::size_t N>
consteval KZScrambled<N> kzScramble(const char (&plain)[N])
{
    constexpr char alphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
    char encoded[KZScrambled<N>::size + 1] = {};
    std::size_t out = 0;
    const std::size_t len = N - 1;
    for (std::size_t i = 0; i < len; i += 3) {
        const unsigned b0 = static_cast<unsigned char>(plain[i]);
        const unsigned b1 = i + 1 < len ? static_cast<unsigned char>(plain[i + 1]) : 0;
        const unsigned b2 = i + 2 < len ? static_cast<unsigned char>(plain[i + 2]) : 0;
        const unsigned triple = (b0 << 16) | (b1 << 8) | b2;
        encoded[out++] = alphabet[(triple >> 18) & 63];
        encoded[out++] = alphabet[(triple >> 12) & 63];
        encoded[out++] = i + 1 < len ? alphabet[(triple >> 6) & 63] : '=';
        encoded[out++] = i + 2 < len ? alphabet[triple & 63] : '=';
    }
    KZScrambled<N> result;
    for (std::size_t i = 0; i < out; ++i)
        result.data[i] = encoded[out - 1 - i];
    return result;
}
