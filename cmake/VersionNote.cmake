# mv_version_note(<target> NAME <name> FILEVERSION <a.b.c.d> PRODUCTVERSION <a.b.c.d>)
#
# Puts a package-metadata ELF note (section .note.package, owner "FDO",
# type 0xcafe1a7e, JSON payload) into <target>. Besides the usual "type",
# "name" and "version" the payload carries "FileVersion" and "ProductVersion",
# which the about box and the engine version check read without loading the
# file.
function(mv_version_note target)
  cmake_parse_arguments(ARG "" "NAME;FILEVERSION;PRODUCTVERSION" "" ${ARGN})
  set(json "{\"type\":\"deb\",\"name\":\"${ARG_NAME}\",\"version\":\"${ARG_PRODUCTVERSION}\",\"FileVersion\":\"${ARG_FILEVERSION}\",\"ProductVersion\":\"${ARG_PRODUCTVERSION}\"}")
  string(REPLACE "\"" "\\\"" escaped "${json}")
  set(out ${CMAKE_CURRENT_BINARY_DIR}/${target}_version_note.S)
  file(CONFIGURE OUTPUT ${out} CONTENT
"    .section .note.package,\"a\",@note
    .p2align 2
    .long 4                 /* name size: \"FDO\" and its NUL */
    .long 2f - 1f           /* descriptor size */
    .long 0xcafe1a7e        /* package metadata */
    .asciz \"FDO\"
    .p2align 2
1:  .asciz \"${escaped}\"
2:  .p2align 2
    .section .note.GNU-stack,\"\",@progbits
" @ONLY)
  target_sources(${target} PRIVATE ${out})
endfunction()
