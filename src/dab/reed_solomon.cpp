#include "dab/reed_solomon.h"

#include <algorithm>
#include <array>
#include <stdexcept>

namespace koru::dab {
namespace {

constexpr unsigned kFieldPolynomial = 0x11D;
constexpr size_t kFieldSize = 255;

struct Field {
    std::array<uint8_t, 512> exp{};
    std::array<int, 256> log{};

    Field() {
        unsigned x = 1;
        for (size_t i = 0; i < kFieldSize; ++i) {
            exp[i] = static_cast<uint8_t>(x);
            log[x] = static_cast<int>(i);
            x <<= 1;
            if (x & 0x100) x ^= kFieldPolynomial;
        }
        for (size_t i = kFieldSize; i < exp.size(); ++i)
            exp[i] = exp[i - kFieldSize];
    }
    uint8_t Mul(uint8_t a, uint8_t b) const { return a == 0 || b == 0 ? 0 : exp[log[a] + log[b]]; }
    uint8_t Div(uint8_t a, uint8_t b) const { return a == 0 ? 0 : exp[log[a] + 255 - log[b]]; }
    uint8_t Pow(int exponent) const { return exp[((exponent % 255) + 255) % 255]; }
};

const Field& Gf() {
    static const Field field;
    return field;
}

// p(x) at x, coefficients lowest degree first.
uint8_t Evaluate(std::span<const uint8_t> p, uint8_t x) {
    const Field& gf = Gf();
    uint8_t value = 0;
    for (size_t i = p.size(); i > 0; --i)
        value = static_cast<uint8_t>(gf.Mul(value, x) ^ p[i - 1]);
    return value;
}

}  // namespace

ReedSolomon::ReedSolomon(size_t codeword_bytes, size_t parity_bytes)
    : codeword_bytes_(codeword_bytes), parity_bytes_(parity_bytes) {
    if (parity_bytes == 0 || parity_bytes > kMaxParityBytes || codeword_bytes > kFieldSize ||
        codeword_bytes <= parity_bytes) {
        throw std::invalid_argument("no such Reed-Solomon code");
    }
    const Field& gf = Gf();
    // g(x) = (x + a^0)(x + a^1) ... (x + a^(2t - 1))
    generator_[0] = 1;
    for (size_t root = 0; root < parity_bytes_; ++root) {
        for (size_t i = root + 1; i > 0; --i) {
            generator_[i] =
                static_cast<uint8_t>(generator_[i] ^ gf.Mul(generator_[i - 1], gf.exp[root]));
        }
    }
}

void ReedSolomon::Encode(std::span<const uint8_t> data, std::span<uint8_t> parity) const {
    const Field& gf = Gf();
    // The remainder of m(x) x^2t divided by g(x), by long division.
    std::fill(parity.begin(), parity.end(), 0);
    for (uint8_t byte : data.first(data_bytes())) {
        const uint8_t feedback = byte ^ parity[0];
        std::copy(parity.begin() + 1, parity.end(), parity.begin());
        parity.back() = 0;
        if (feedback == 0) continue;
        for (size_t i = 0; i < parity_bytes_; ++i) {
            parity[i] ^= gf.Mul(feedback, generator_[i + 1]);
        }
    }
}

int ReedSolomon::Decode(std::span<uint8_t> codeword) const {
    const Field& gf = Gf();
    const size_t n = codeword_bytes_;
    const size_t p = parity_bytes_;
    codeword = codeword.first(n);
    // Byte i is the coefficient of x^(n - 1 - i).
    std::array<uint8_t, kMaxParityBytes> syndromes{};
    bool clean = true;
    for (size_t j = 0; j < p; ++j) {
        uint8_t s = 0;
        const uint8_t root = gf.exp[j];
        for (uint8_t byte : codeword)
            s = static_cast<uint8_t>(gf.Mul(s, root) ^ byte);
        syndromes[j] = s;
        clean = clean && s == 0;
    }
    if (clean) return 0;

    // Berlekamp-Massey: the error locator lambda(x), lowest degree first.
    std::array<uint8_t, kMaxParityBytes + 1> lambda{}, previous{}, saved{};
    lambda[0] = previous[0] = 1;
    int length = 0;
    size_t shift = 1;
    uint8_t previous_discrepancy = 1;
    for (size_t k = 0; k < p; ++k) {
        uint8_t d = syndromes[k];
        for (int i = 1; i <= length; ++i)
            d ^= gf.Mul(lambda[i], syndromes[k - i]);
        if (d == 0) {
            ++shift;
            continue;
        }
        saved = lambda;
        const uint8_t scale = gf.Div(d, previous_discrepancy);
        for (size_t i = 0; i + shift <= p; ++i) {
            lambda[i + shift] ^= gf.Mul(scale, previous[i]);
        }
        if (2 * length <= static_cast<int>(k)) {
            length = static_cast<int>(k) + 1 - length;
            previous = saved;
            previous_discrepancy = d;
            shift = 1;
        } else {
            ++shift;
        }
    }
    if (length > correctable_bytes()) return -1;

    // omega(x) = S(x) lambda(x) mod x^2t; lambda'(x) keeps the odd terms.
    std::array<uint8_t, kMaxParityBytes> omega{};
    for (size_t i = 0; i < p; ++i) {
        for (size_t k = 0; k <= i; ++k)
            omega[i] ^= gf.Mul(syndromes[k], lambda[i - k]);
    }
    std::array<uint8_t, kMaxParityBytes> derivative{};
    for (size_t i = 1; i <= p; i += 2)
        derivative[i - 1] = lambda[i];
    const std::span<const uint8_t> locator(lambda.data(), p + 1);
    const std::span<const uint8_t> evaluator(omega.data(), p);
    const std::span<const uint8_t> slope_of(derivative.data(), p);

    // Chien search over the positions the shortened code has, Forney for the values.
    std::array<size_t, kMaxParityBytes / 2> where{};
    std::array<uint8_t, kMaxParityBytes / 2> value{};
    int found = 0;
    for (int degree = 0; degree < static_cast<int>(n); ++degree) {
        const uint8_t inverse = gf.Pow(-degree);
        if (Evaluate(locator, inverse) != 0) continue;
        if (found == length) return -1;
        const uint8_t slope = Evaluate(slope_of, inverse);
        if (slope == 0) return -1;
        where[found] = n - 1 - static_cast<size_t>(degree);
        value[found] = gf.Mul(gf.Pow(degree), gf.Div(Evaluate(evaluator, inverse), slope));
        ++found;
    }
    if (found != length) return -1;  // roots outside the codeword: more errors than t
    for (int i = 0; i < found; ++i)
        codeword[where[i]] ^= value[i];
    return found;
}

}  // namespace koru::dab
