# Run by cpack once it has made the .deb: makes it again with dpkg-deb, so
# that two builds of one commit give the same bytes wherever and whenever
# they run, and so that it says what cpack cannot.
#  - Times: every one is the last commit's (SOURCE_DATE_EPOCH, if set, else
#    the commit's time read at configure time, else the changelog's).
#  - Modes: the umask of whoever built it is taken out, and dpkg-deb gives
#    the ar members fixed modes and the files root as owner.
#  - cpack adds ldconfig scripts for anything under /usr/lib, but the
#    builtins in /usr/lib/bash are no libraries for the linker.
#  - Multi-Arch: foreign, which cpack has no field for: the tools do the
#    same for a script of any architecture.
#  - In a cross build, the dependency on the target's C library comes from
#    the cross tree's libc6-ARCH-cross, as "libc6:ARCH (>= V)"; in the
#    package for ARCH it is plain libc6 (libc6.1 on alpha).
if(DEFINED ENV{SOURCE_DATE_EPOCH})
  set(epoch $ENV{SOURCE_DATE_EPOCH})
else()
  set(epoch ${CPACK_SOURCE_DATE_EPOCH})
endif()
set(ENV{SOURCE_DATE_EPOCH} ${epoch})

foreach(deb IN LISTS CPACK_PACKAGE_FILES)
  set(root ${CPACK_TOPLEVEL_DIRECTORY}/deb-root)
  file(REMOVE_RECURSE ${root})
  execute_process(COMMAND dpkg-deb --raw-extract ${deb} ${root} COMMAND_ERROR_IS_FATAL ANY)
  file(REMOVE ${root}/DEBIAN/postinst ${root}/DEBIAN/postrm)
  file(READ ${root}/DEBIAN/control control)
  string(REPLACE "\nPackage:" "\nMulti-Arch: foreign\nPackage:" control "${control}")
  string(REGEX REPLACE "(libc6[.0-9]*):${CPACK_DEBIAN_PACKAGE_ARCHITECTURE} " "\\1 " control "${control}")
  file(WRITE ${root}/DEBIAN/control "${control}")
  execute_process(COMMAND chmod -R u+w,go-w,a+rX ${root} COMMAND_ERROR_IS_FATAL ANY)
  execute_process(COMMAND find ${root} -exec touch -h -d @${epoch} {} +
    COMMAND_ERROR_IS_FATAL ANY)
  execute_process(COMMAND dpkg-deb --root-owner-group -Zxz --build ${root} ${deb}
    OUTPUT_QUIET COMMAND_ERROR_IS_FATAL ANY)
  file(REMOVE_RECURSE ${root})
endforeach()
