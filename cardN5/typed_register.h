// A register whose bits are typed: each register's bits are an enum class of
// its own, so a bit of one register used on another does not compile. The
// object is a CPortRegister and nothing more (same size, same address of the
// shadow), so the port-I/O library's bit and pulse functions still work on it.
#ifndef CARDN5_TYPED_REGISTER_H
#define CARDN5_TYPED_REGISTER_H

#include <stdint.h>

#include <type_traits>

#include "port_register.h"

template <typename BitT>
class TypedRegister : public CPortRegister {
 public:
  using Bits = BitT;
  constexpr explicit TypedRegister(uint16_t wPort) : CPortRegister(wPort) {}

  // These hide CPortRegister's integer-bit operations on purpose. They do
  // what CPortRegister's do and pass on the port-I/O library's result, which
  // some exports return to the host (the shadow is the object's first field,
  // so the object's address is the shadow's).
  int32_t SetBit(BitT b) { return HWIO_SetBit(Shadow(), N(b)); }
  int32_t ResetBit(BitT b) { return HWIO_ResetBit(Shadow(), N(b)); }
  // Sets the bit when bOn, clears it otherwise (shadow only; Out() writes).
  int32_t Update(BitT b, bool bOn) { return bOn ? SetBit(b) : ResetBit(b); }
  int32_t Bit(BitT b) const { return CPortRegister::Bit(N(b)); }
  void LowPuls(BitT b) { CPortRegister::LowPuls(N(b)); }
  void HighPuls(BitT b) { CPortRegister::HighPuls(N(b)); }

  // Reads the port and tests one bit of what came back.
  int32_t ReadBit(BitT b) {
    In();
    return Bit(b);
  }
  // Sets the whole shadow and writes it.
  int32_t Write(uint16_t wValue) {
    SetValue(wValue);
    return Out();
  }

  static constexpr int32_t N(BitT b) { return static_cast<int32_t>(b); }

 private:
  uint16_t* Shadow() {
    static_assert(std::is_standard_layout<TypedRegister>::value, "the shadow must be the object's first field");
    return reinterpret_cast<uint16_t*>(static_cast<CPortRegister*>(this));
  }
};

// For registers whose bits nobody names (data, strobe and counter ports).
enum class NoBits : int32_t {};
using PlainRegister = TypedRegister<NoBits>;

// The mask of a typed bit, for the simulated boards that share the maps.
template <typename BitT>
constexpr uint16_t BitMask(BitT b) {
  return static_cast<uint16_t>(1u << static_cast<unsigned>(b));
}

#endif
