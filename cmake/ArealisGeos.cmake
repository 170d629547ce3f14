# arealis_find_geos(<variable>): sets <variable> to a target for the GEOS C API (its CMake
# package, else pkg-config), or to "" when the development files are missing. GEOS serves the
# differential tests and benchmarks only; the library never links it.
function(arealis_find_geos variable)
  find_package(GEOS CONFIG QUIET)
  if(TARGET GEOS::geos_c)
    set(${variable} GEOS::geos_c PARENT_SCOPE)
    return()
  endif()
  find_package(PkgConfig QUIET)
  if(PkgConfig_FOUND)
    pkg_check_modules(AREALIS_GEOS_C QUIET IMPORTED_TARGET GLOBAL geos)
    if(AREALIS_GEOS_C_FOUND)
      set(${variable} PkgConfig::AREALIS_GEOS_C PARENT_SCOPE)
      return()
    endif()
  endif()
  set(${variable} "" PARENT_SCOPE)
endfunction()
