#include "synthetic_mgf.h"

#include <array>
#include <random>
#include <string_view>

namespace mspforge::test {
namespace {

// std::mt19937 is the same everywhere; the standard distributions are not,
// so numbers are drawn from its raw output.
struct Draw {
  std::mt19937 engine;
  std::uint32_t below(std::uint32_t n) {
    return static_cast<std::uint32_t>(engine() % n);
  }
  bool chance(std::uint32_t percent) { return below(100) < percent; }
  template <typename T, std::size_t N>
  const T& pick(const std::array<T, N>& items) {
    return items[below(static_cast<std::uint32_t>(N))];
  }
  // A decimal with the given digits after the point.
  std::string decimal(std::uint32_t whole, int digits) {
    std::string text = std::to_string(whole) + ".";
    for (int i = 0; i < digits; ++i) text += static_cast<char>('0' + below(10));
    return text;
  }
};

constexpr std::array<std::string_view, 8> kCompounds = {
    "Caffeine", "Glucose", "Tryptophan", "Citric acid", "Quercetin",
    "Metformin", "Adenosine", "Pesticide6_Fuberidazole"};
constexpr std::array<std::string_view, 7> kNameAdducts = {
    "", " M+H", " M-H", " M+Na", " [M+H]+", " [M+2H]", " M+FA-H"};
constexpr std::array<std::string_view, 6> kCharges = {"1", "2", "1+", "2-",
                                                      "-1", "0"};
constexpr std::array<std::string_view, 4> kIonModes = {
    "Positive", "positive", "Negative", "negative"};
constexpr std::array<std::string_view, 5> kAdducts = {
    "[M+H]1+", "[M-H]1-", "[M+Na]1+", "[M+FA]1-", "[M+NH4]+"};

}  // namespace

std::string makeSyntheticMgf(std::size_t records, std::uint32_t seed) {
  Draw draw{std::mt19937(seed)};
  std::string mgf = "COM=synthetic library\n";
  for (std::size_t r = 0; r < records; ++r) {
    const std::string compound(draw.pick(kCompounds));
    const std::string name = compound + std::string(draw.pick(kNameAdducts));
    const std::uint32_t precursor = 100 + draw.below(900);
    mgf += "BEGIN IONS\n";
    if (!draw.chance(1)) {
      mgf += "PEPMASS=" + draw.decimal(precursor, 4) + "\n";
    }
    mgf += "CHARGE=" + std::string(draw.pick(kCharges)) + "\n";
    mgf += "MSLEVEL=2\n";
    mgf += "IONMODE=" + std::string(draw.pick(kIonModes)) + "\n";
    mgf += "SOURCE_INSTRUMENT= -Q-Exactive Plus Orbitrap Res 70k\n";
    if (!draw.chance(10)) mgf += "NAME=" + name + "\n";
    mgf += "TITLE=" + name + " scan " + std::to_string(r) + "\n";
    mgf += draw.chance(5) ? std::string("SMILES=N/A\n")
                          : "SMILES=C1=CC=C2C(=C1)NC(=N2)C" +
                                std::to_string(draw.below(9)) + "=CC=CO3\n";
    mgf += "INCHI=InChI=1S/C11H8N2O/c1-2-5-9-8(4-1)12-11(13-9)10-6-3-7-14-10/h" +
           std::to_string(r % 97) + "H\n";
    mgf += "SCANS=" + std::to_string(r + 1) + "\n";
    if (draw.chance(40)) mgf += "ADDUCT=" + std::string(draw.pick(kAdducts)) + "\n";
    // Each draw in a statement of its own: the operands of one expression
    // are evaluated in an order that differs between compilers and targets.
    // The order of the draws is the one that the pinned output was made
    // with: last operand first.
    const bool charged = draw.chance(10);
    const std::uint32_t hydrogens = 5 + draw.below(50);
    const std::uint32_t carbons = 5 + draw.below(30);
    mgf += "FORMULA=C" + std::to_string(carbons) + "H" +
           std::to_string(hydrogens) + "N2O" + (charged ? "+" : "") + "\n";
    if (draw.chance(80)) {
      mgf += "COLLISION_ENERGY=" + std::to_string(10 + draw.below(50)) + "\n";
    }
    mgf += "USI=mzspec:SYNTH:" + std::to_string(r) + "\n";
    const std::uint32_t peaks = draw.chance(1) ? 0 : 5 + draw.below(116);
    if (draw.chance(2)) mgf += "0." + std::to_string(draw.below(999)) + " 3\n";
    for (std::uint32_t p = 0; p < peaks; ++p) {
      const std::string mz = draw.decimal(1 + draw.below(precursor), 4);
      const std::uint32_t form = draw.below(20);
      std::string intensity;
      if (form == 0) {
        const std::uint32_t exponent = draw.below(6);
        const std::uint32_t fraction = draw.below(100);
        const std::uint32_t digit = draw.below(9) + 1;
        intensity = std::to_string(digit) + "." + std::to_string(fraction) +
                    "e+0" + std::to_string(exponent);
      } else {
        intensity = form < 3 ? std::to_string(draw.below(100000))
                             : draw.decimal(draw.below(10000), 2);
      }
      mgf += mz + (form == 3 || form == 4 ? "\t" : " ") + intensity + "\n";
    }
    mgf += "END IONS\n\n";
  }
  return mgf;
}

}  // namespace mspforge::test
