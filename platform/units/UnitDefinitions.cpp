// The shipped units.wez, built in. Keep the two identical (a test compares them byte for byte).
#include "UnitDefinitions.h"

namespace {

const char g_text[] = R"units(# units.wez: the unit definitions of the zyr units library.
#
# Format
#   Plain text, one statement per line. "#" starts a comment that runs to the end of the line;
#   blank lines are ignored. Words are separated by blanks or tabs; "=" is a word of its own.
#
#   dimension <dimension> <name>...
#       Declares a base dimension (at most 16) and the names of its base unit, whose factor is 1.
#   unit <name>... = <number> [<units>] [offset <number>]
#       Defines one unit under every name given. A value v in it is (v + offset) * number in
#       <units>; without <units> the unit is a pure number, without "offset" the offset is 0.
#
#   A name starts with a letter or "_" and goes on with letters, digits and "_" (bytes above 127
#   count as letters); it has at most 63 bytes and is matched exactly, letter case included.
#   "dimension", "unit", "offset" and "pi" are reserved. Every name is defined once, and a unit
#   can only be defined in units defined above it.
#   A number is one or more terms joined by "*" and "/" without blanks, worked out from left to
#   right; a term is a decimal number ("1609.344", "1e-6") or "pi", either with a leading sign.
#   <units> is a unit text: unit names separated by blanks, each with an optional "^" and a
#   signed integer exponent of at most 99: "kg m s^-2", "rev min^-1".
#
# Unit texts given to the library have the same form as <units>. A unit text of one name with no
# exponent keeps its offset, so "C" to "K" adds 273.15; any other text ("C s^-1") converts
# differences and has no offset. Two unit texts convert into each other only when their
# dimensions agree; angle is a dimension of its own, so lengths never convert into angles.

# Base dimensions.
dimension length       metre meter m
dimension mass         kilogram kg
dimension time         second s sec
dimension temperature  kelvin K
dimension angle        radian rad
dimension amount       mole mol
dimension current      ampere amp
dimension luminosity   candela cd
dimension solidangle   steradian sr

# Lengths: metres with SI prefixes.
unit exametre exameter Em                           = 1e18 m
unit petametre petameter Pm                         = 1e15 m
unit terametre terameter Tm                         = 1e12 m
unit gigametre gigameter Gm                         = 1e9 m
unit megametre megameter Mm                         = 1e6 m
unit kilometre kilometer km                         = 1000 m
unit hectometre hectometer hm                       = 100 m
unit decametre decameter dekametre dekameter dam    = 10 m
unit decimetre decimeter dm                         = 0.1 m
unit centimetre centimeter cm                       = 0.01 m
unit millimetre millimeter mm                       = 0.001 m
unit micrometre micrometer um micron                = 1e-6 m
unit nanometre nanometer nm                         = 1e-9 m
unit picometre picometer pm                         = 1e-12 m
unit femtometre femtometer fm fermi                 = 1e-15 m
unit attometre attometer am                         = 1e-18 m

# Other lengths, by their exact definitions.
unit angstrom A                 = 1e-10 m
unit astronomicalunit AU        = 149597870700 m
unit lightyear lyr              = 9460730472580800 m          # Julian year at the speed of light
unit parsec pc                  = 149597870700*648000/pi m
unit inch in                    = 0.0254 m
unit thou mil                   = 0.001 in
unit foot ft                    = 0.3048 m
unit yard yd                    = 0.9144 m
unit mile mi                    = 1609.344 m
unit league                     = 3 mile
unit nauticalmile               = 6080 ft                    # the Admiralty mile
unit hand                       = 4 in
unit cubit                      = 18 in
unit fathom                     = 6 ft
unit cable                      = 120 fathom
unit link                       = 0.66 ft
unit rod rd pole perch          = 16.5 ft
unit chain ch                   = 66 ft
unit furlong                    = 660 ft

# Angles.
unit degree deg                 = pi/180 rad
unit grade grad gon             = pi/200 rad
unit revolution rev turn        = 2*pi rad
unit arcminute arcmin           = 1/60 deg
unit arcsecond arcsec           = 1/3600 deg

# Time and frequency.
unit nanosecond ns              = 1e-9 s
unit microsecond us             = 1e-6 s
unit millisecond ms             = 0.001 s
unit minute min                 = 60 s
unit hour hr h                  = 3600 s
unit day                        = 86400 s
unit hertz Hz                   = 1 s^-1
unit rpm                        = 1 rev min^-1

# Mass.
unit gram g                     = 0.001 kg
unit tonne t                    = 1000 kg
unit pound lb                   = 0.45359237 kg

# Temperature. "C", "F" and "R" name Celsius, Fahrenheit and Rankine here (there is no coulomb).
unit celsius degC C             = 1 K offset 273.15
unit rankine degR R             = 5/9 K
unit fahrenheit degF F          = 1 R offset 459.67

# Mechanics.
unit newton N                   = 1 kg m s^-2
unit pascal Pa                  = 1 N m^-2
unit kilopascal kPa             = 1000 Pa
unit megapascal MPa             = 1e6 Pa
unit bar                        = 1e5 Pa
unit atmosphere atm             = 101325 Pa
unit joule J                    = 1 N m
unit watt W                     = 1 J s^-1
unit litre liter L              = 0.001 m^3
)units";

} // namespace

const char *UnitDefinitions_builtin(size_t *length) {
  if (length != nullptr)
    *length = sizeof g_text - 1;
  return g_text;
}
