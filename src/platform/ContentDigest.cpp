// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/ContentDigest.h"

#include <new>
#include <xxhash.h>
#if defined(__x86_64__)
#include <xxh_x86dispatch.h>
#endif

namespace stowmere::files {

struct ContentDigest::State {
    XXH3_state_t* xxh = nullptr;
};

ContentDigest::ContentDigest()
    : m_state(new State, [](State* state) {
          XXH3_freeState(state->xxh);
          delete state;
      })
{
    m_state->xxh = XXH3_createState();
    if (m_state->xxh == nullptr)
        throw std::bad_alloc();
    XXH3_128bits_reset(m_state->xxh);
}

ContentDigest::~ContentDigest() = default;

void ContentDigest::reset()
{
    XXH3_128bits_reset(m_state->xxh);
}

void ContentDigest::add(std::span<const std::byte> bytes)
{
#if defined(__x86_64__)
    // The library's plain entry points are built for the oldest x86-64; this one picks the
    // widest vector unit the processor has (AVX2, AVX-512), about twice as fast on large
    // files. The hash is the same.
    XXH3_128bits_update_dispatch(m_state->xxh, bytes.data(), bytes.size());
#else
    XXH3_128bits_update(m_state->xxh, bytes.data(), bytes.size());
#endif
}

ContentDigest::Bytes ContentDigest::result() const
{
    XXH128_canonical_t canonical;
    XXH128_canonicalFromHash(&canonical, XXH3_128bits_digest(m_state->xxh));
    Bytes bytes{};
    static_assert(sizeof canonical.digest == sizeof(Bytes));
    for (std::size_t i = 0; i < bytes.size(); ++i)
        bytes[i] = canonical.digest[i];
    return bytes;
}

} // namespace stowmere::files
