# The Debian package telva_VERSION_ARCH.deb of everything installed, built by
# make package (CPack). The shared libraries the programs link are found by
# dpkg-shlibdeps; the Python package's needs are named here.
set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME telva)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "Electrostatic potentials and energies of ionic crystals")
string(CONCAT CPACK_PACKAGE_DESCRIPTION
  "The listing program telva, the CIF converter telva-cif, potential maps (telva-map), "
  "the screening of many structures (telva-screen), the Python module telva and the "
  "computation core as a C++ library with its headers and CMake package.")
set(CPACK_PACKAGE_CONTACT "TELVA developers <telva@localhost>")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION science)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
if(TELVA_PYTHON)
  # The extension module is built for one interpreter version.
  set(python_version ${Python3_VERSION_MAJOR}.${Python3_VERSION_MINOR})
  math(EXPR python_next "${Python3_VERSION_MINOR} + 1")
  set(python_after ${Python3_VERSION_MAJOR}.${python_next})
  set(CPACK_DEBIAN_PACKAGE_DEPENDS
      "python3 (>= ${python_version}), python3 (<< ${python_after}), python3-numpy")
  # telva-screen's scheduler, its pickling and its progress bar; the module's
  # adapters.
  set(CPACK_DEBIAN_PACKAGE_RECOMMENDS
      "python3-dask, python3-distributed, python3-cloudpickle, python3-tqdm")
  set(CPACK_DEBIAN_PACKAGE_SUGGESTS "python3-pymatgen, python3-ase")
endif()
include(CPack)
