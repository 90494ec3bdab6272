# The Debian package, made by CPack's DEB generator from an installed tree (scripts/package).
set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME ${ACCOUNTING_PRODUCT})
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_VENDOR "Movra")
set(CPACK_PACKAGE_CONTACT "Accounting pane developers <accounting-pane@movra.example>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "job accounting pane for the Print dialog of Movra printers")
# The long description; CPack indents it under the summary line and writes the empty line as
# Debian's paragraph mark.
set(CPACK_DEBIAN_PACKAGE_DESCRIPTION "When a person prints to a Movra printer, the Print dialog gains an Accounting
pane: it switches job accounting on or off, asks for a User ID and an
Account ID when Print is clicked or uses default codes typed into the pane,
and conceals the codes while they are typed. The settings and codes travel
with the job to the printer driver.

This package provides printdialog, a Print dialog that shows the pane on
screen (Qt) or lets a script act on it, and prints through CUPS;
accounting-agent, which gives the jobs of every other program the pane's
prompt or default codes on queues that hold new jobs; and the pane's
plug-in bundle and the platform services it runs on.")
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION utils)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
# Dependencies from the libraries the binaries link, as dpkg-shlibdeps finds them. The private
# libraries in the product's folder are the package's own.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS_PRIVATE_DIRS ${CMAKE_BINARY_DIR}/${ACCOUNTING_PRIVATE_LIBDIR})
set(CPACK_DEBIAN_PACKAGE_GENERATE_SHLIBS OFF)
# Qt loads its platform plugins at run time, where dpkg-shlibdeps cannot see them: without the X11
# one the agent cannot show its prompt (libqt6gui6 only recommends it). Wayland desktops want
# theirs.
set(CPACK_DEBIAN_PACKAGE_DEPENDS "qt6-qpa-plugins")
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "qt6-wayland")
set(CPACK_STRIP_FILES ON)
# The agent's XDG autostart entry lies in /etc: a file the administrator may change, kept through
# upgrades.
set(CPACK_DEBIAN_PACKAGE_CONTROL_EXTRA ${PROJECT_SOURCE_DIR}/packaging/conffiles)
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
# Files and folders are owned by root with the modes Debian expects, whatever the build's umask.
set(CPACK_INSTALL_DEFAULT_DIRECTORY_PERMISSIONS
    OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ GROUP_EXECUTE WORLD_READ WORLD_EXECUTE)
include(CPack)
