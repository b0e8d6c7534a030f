#include "selfupdate/Sha256.h"

#include <cstring>

#if (defined (__x86_64__) || defined (_M_X64)) && (defined (__GNUC__) || defined (__clang__))
 #define QUILLOTONE_SHA_EXTENSIONS 1
 #include <cpuid.h>
 #include <immintrin.h>
#else
 #define QUILLOTONE_SHA_EXTENSIONS 0
#endif

namespace
{
    alignas (16) constexpr uint32_t roundConstants[64] = {
        0x428a2f98, 0x71374491, 0xb5c0fbcf, 0xe9b5dba5, 0x3956c25b, 0x59f111f1, 0x923f82a4, 0xab1c5ed5,
        0xd807aa98, 0x12835b01, 0x243185be, 0x550c7dc3, 0x72be5d74, 0x80deb1fe, 0x9bdc06a7, 0xc19bf174,
        0xe49b69c1, 0xefbe4786, 0x0fc19dc6, 0x240ca1cc, 0x2de92c6f, 0x4a7484aa, 0x5cb0a9dc, 0x76f988da,
        0x983e5152, 0xa831c66d, 0xb00327c8, 0xbf597fc7, 0xc6e00bf3, 0xd5a79147, 0x06ca6351, 0x14292967,
        0x27b70a85, 0x2e1b2138, 0x4d2c6dfc, 0x53380d13, 0x650a7354, 0x766a0abb, 0x81c2c92e, 0x92722c85,
        0xa2bfe8a1, 0xa81a664b, 0xc24b8b70, 0xc76c51a3, 0xd192e819, 0xd6990624, 0xf40e3585, 0x106aa070,
        0x19a4c116, 0x1e376c08, 0x2748774c, 0x34b0bcb5, 0x391c0cb3, 0x4ed8aa4a, 0x5b9cca4f, 0x682e6ff3,
        0x748f82ee, 0x78a5636f, 0x84c87814, 0x8cc70208, 0x90befffa, 0xa4506ceb, 0xbef9a3f7, 0xc67178f2
    };

    constexpr std::array<uint32_t, 8> initialState { 0x6a09e667, 0xbb67ae85, 0x3c6ef372, 0xa54ff53a,
                                                     0x510e527f, 0x9b05688c, 0x1f83d9ab, 0x5be0cd19 };

    inline uint32_t rotr (uint32_t x, int n)    { return (x >> n) | (x << (32 - n)); }

    inline uint32_t loadBigEndian (const uint8_t* p)
    {
        return (uint32_t) p[0] << 24 | (uint32_t) p[1] << 16 | (uint32_t) p[2] << 8 | (uint32_t) p[3];
    }

    void compressPortable (uint32_t* h, const uint8_t* blocks, size_t count)
    {
        for (; count > 0; --count, blocks += 64)
        {
            uint32_t w[16];

            for (int t = 0; t < 16; ++t)
                w[t] = loadBigEndian (blocks + 4 * t);

            // The schedule is extended inside the rounds, sixteen words at a
            // time, which lets the processor overlap the two.
            const auto word = [&w] (int t)
            {
                if (t < 16)
                    return w[t];

                auto& slot = w[t & 15];
                const auto x15 = w[(t - 15) & 15], x2 = w[(t - 2) & 15];
                slot += (rotr (x15, 7) ^ rotr (x15, 18) ^ (x15 >> 3)) + w[(t - 7) & 15]
                      + (rotr (x2, 17) ^ rotr (x2, 19) ^ (x2 >> 10));
                return slot;
            };

            auto a = h[0], b = h[1], c = h[2], d = h[3], e = h[4], f = h[5], g = h[6], k = h[7];

            // Eight rounds per pass with the roles rotated in the arguments,
            // so no values move between registers from round to round.
            const auto round = [&word] (uint32_t x, uint32_t y, uint32_t z, uint32_t& u, uint32_t p, uint32_t q, uint32_t r, uint32_t& v, int t)
            {
                const auto t1 = v + (rotr (p, 6) ^ rotr (p, 11) ^ rotr (p, 25)) + (r ^ (p & (q ^ r))) + roundConstants[t] + word (t);
                u += t1;
                v = t1 + (rotr (x, 2) ^ rotr (x, 13) ^ rotr (x, 22)) + ((x & y) | (z & (x | y)));
            };

           #if defined (__GNUC__) && ! defined (__clang__)
            #pragma GCC unroll 8
           #endif
            for (int t = 0; t < 64; t += 8)
            {
                round (a, b, c, d, e, f, g, k, t);
                round (k, a, b, c, d, e, f, g, t + 1);
                round (g, k, a, b, c, d, e, f, t + 2);
                round (f, g, k, a, b, c, d, e, t + 3);
                round (e, f, g, k, a, b, c, d, t + 4);
                round (d, e, f, g, k, a, b, c, t + 5);
                round (c, d, e, f, g, k, a, b, t + 6);
                round (b, c, d, e, f, g, k, a, t + 7);
            }

            h[0] += a; h[1] += b; h[2] += c; h[3] += d;
            h[4] += e; h[5] += f; h[6] += g; h[7] += k;
        }
    }

   #if QUILLOTONE_SHA_EXTENSIONS
    bool processorHasShaExtensions()
    {
        unsigned a = 0, b = 0, c = 0, d = 0;

        if (__get_cpuid (1, &a, &b, &c, &d) == 0 || (c & bit_SSSE3) == 0 || (c & bit_SSE4_1) == 0)
            return false;

        if (__get_cpuid_max (0, nullptr) < 7)
            return false;

        __cpuid_count (7, 0, a, b, c, d);
        return (b & (1u << 29)) != 0;
    }

    // The state lives in the registers as ABEF and CDGH, the order the
    // instructions want; each group of four rounds also extends the message
    // schedule by four words.
    __attribute__ ((target ("sha,sse4.1,ssse3")))
    void compressWithExtensions (uint32_t* h, const uint8_t* blocks, size_t count)
    {
        const auto byteSwap = _mm_set_epi64x (0x0c0d0e0f08090a0bLL, 0x0405060700010203LL);

        auto dcba = _mm_loadu_si128 (reinterpret_cast<const __m128i*> (h));
        auto hgfe = _mm_loadu_si128 (reinterpret_cast<const __m128i*> (h + 4));
        auto cdab = _mm_shuffle_epi32 (dcba, 0xb1);
        auto efgh = _mm_shuffle_epi32 (hgfe, 0x1b);
        auto abef = _mm_alignr_epi8 (cdab, efgh, 8);
        auto cdgh = _mm_blend_epi16 (efgh, cdab, 0xf0);

        for (; count > 0; --count, blocks += 64)
        {
            const auto savedAbef = abef, savedCdgh = cdgh;
            __m128i words[4];

            for (int i = 0; i < 4; ++i)
                words[i] = _mm_shuffle_epi8 (_mm_loadu_si128 (reinterpret_cast<const __m128i*> (blocks + 16 * i)), byteSwap);

            for (int group = 0; group < 16; ++group)
            {
                auto& current = words[group & 3];
                const auto scheduled = _mm_add_epi32 (current, _mm_load_si128 (reinterpret_cast<const __m128i*> (roundConstants + 4 * group)));
                cdgh = _mm_sha256rnds2_epu32 (cdgh, abef, scheduled);
                abef = _mm_sha256rnds2_epu32 (abef, cdgh, _mm_shuffle_epi32 (scheduled, 0x0e));

                if (group < 12)
                {
                    // W[t] = s1(W[t-2]) + W[t-7] + s0(W[t-15]) + W[t-16], four at a time.
                    auto next = _mm_sha256msg1_epu32 (current, words[(group + 1) & 3]);
                    next = _mm_add_epi32 (next, _mm_alignr_epi8 (words[(group + 3) & 3], words[(group + 2) & 3], 4));
                    current = _mm_sha256msg2_epu32 (next, words[(group + 3) & 3]);
                }
            }

            abef = _mm_add_epi32 (abef, savedAbef);
            cdgh = _mm_add_epi32 (cdgh, savedCdgh);
        }

        const auto feba = _mm_shuffle_epi32 (abef, 0x1b);
        const auto dchg = _mm_shuffle_epi32 (cdgh, 0xb1);
        _mm_storeu_si128 (reinterpret_cast<__m128i*> (h), _mm_blend_epi16 (feba, dchg, 0xf0));
        _mm_storeu_si128 (reinterpret_cast<__m128i*> (h + 4), _mm_alignr_epi8 (dchg, feba, 8));
    }
   #endif
}

//==============================================================================
bool Sha256::hardwareAvailable()
{
   #if QUILLOTONE_SHA_EXTENSIONS
    static const bool available = processorHasShaExtensions();
    return available;
   #else
    return false;
   #endif
}

Sha256::Sha256 (bool allowHardware)
    : state (initialState), useHardware (allowHardware && hardwareAvailable())
{
}

void Sha256::compress (const uint8_t* blocks, size_t count)
{
   #if QUILLOTONE_SHA_EXTENSIONS
    if (useHardware)
    {
        compressWithExtensions (state.data(), blocks, count);
        return;
    }
   #endif

    compressPortable (state.data(), blocks, count);
}

void Sha256::update (const void* data, size_t size)
{
    auto* bytes = static_cast<const uint8_t*> (data);
    totalBytes += size;

    if (pendingSize > 0)
    {
        const auto taken = std::min (size, pending.size() - pendingSize);
        std::memcpy (pending.data() + pendingSize, bytes, taken);
        pendingSize += taken;
        bytes += taken;
        size -= taken;

        if (pendingSize < pending.size())
            return;

        compress (pending.data(), 1);
        pendingSize = 0;
    }

    if (const auto whole = size / 64; whole > 0)
    {
        compress (bytes, whole);
        bytes += whole * 64;
        size -= whole * 64;
    }

    std::memcpy (pending.data(), bytes, size);
    pendingSize = size;
}

std::array<uint8_t, 32> Sha256::finish()
{
    const auto bitLength = totalBytes * 8;
    uint8_t padding[72] = { 0x80 };
    const auto padSize = (pendingSize < 56 ? 56 : 120) - pendingSize;

    for (int i = 0; i < 8; ++i)
        padding[padSize + (size_t) i] = (uint8_t) (bitLength >> (56 - 8 * i));

    update (padding, padSize + 8);
    jassert (pendingSize == 0);

    std::array<uint8_t, 32> digest {};

    for (size_t i = 0; i < 8; ++i)
        for (size_t j = 0; j < 4; ++j)
            digest[4 * i + j] = (uint8_t) (state[i] >> (24 - 8 * j));

    return digest;
}

juce::String Sha256::finishAsHex()
{
    const auto digest = finish();
    return juce::String::toHexString (digest.data(), (int) digest.size(), 0);
}
