// What every Quorvane executable says of its maker in its version information: one copyright
// holder, the one in LICENSE (the installer says the same).
#define QUORVANE_COMPANY "Orlenna"
#define QUORVANE_COPYRIGHT "Copyright (c) 2026 the Quorvane developers"
#define QUORVANE_PRODUCT "Quorvane"
// The build defines QUORVANE_VERSION_COMMAS (1,5,0,0) and QUORVANE_VERSION_DOTS (1.5.0.0) from
// project(); QUORVANE_TEXT(QUORVANE_VERSION_DOTS) is the latter as a string.
#define QUORVANE_TEXT_(x) #x
#define QUORVANE_TEXT(x) QUORVANE_TEXT_(x)
