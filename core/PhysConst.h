#ifndef PHYSCONST_H
#define PHYSCONST_H

// Constants of the energy conversions, kept in one place so that every
// wavelength and monochromator-angle conversion uses the same values.
namespace PhysConst {

constexpr double hc = 12398.424360387684;  // eV x angstrom
constexpr double defaultD = 3.13553;       // monochromator crystal spacing (angstrom)
constexpr double pi = 3.1415926535;        // the value the angle conversions use

}  // namespace PhysConst

#endif
