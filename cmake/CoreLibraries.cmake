# The libraries the core is built on, for the core and for the fuzzing copy
# of it: SQLite for the history store (through its C API), TagLib (Debian's
# libtag1-dev) for the ID3v2 tag at a file's head, frame by frame, zlib for
# its compressed frames (inflated only so far), and util-linux's libblkid for volume identity (UUID, label, the type behind a
# FUSE mount).
find_package(SQLite3 REQUIRED)
find_package(ZLIB REQUIRED)
find_package(PkgConfig REQUIRED)
pkg_check_modules(TAGLIB REQUIRED IMPORTED_TARGET taglib)
pkg_check_modules(BLKID REQUIRED IMPORTED_TARGET blkid)

function(selvane_link_core_libraries target scope)
  target_link_libraries(${target} ${scope} SQLite::SQLite3 PkgConfig::TAGLIB ZLIB::ZLIB
                        PkgConfig::BLKID)
endfunction()
