# Lays out the release folder and zips it (run by the release target):
#   cmake -DSCR=... -DDLL=... -DTEXT=... -DOUT=<release dir> -P make_package.cmake
# Makes <OUT>/swfsaver/{swfsaver.scr,swfstandin.dll,INSTALL.txt} and <OUT>/swfsaver.zip.
foreach(var SCR DLL TEXT OUT)
  if(NOT DEFINED ${var})
    message(FATAL_ERROR "make_package: ${var} not set")
  endif()
endforeach()

set(dir ${OUT}/swfsaver)
# Start empty so that a file dropped from the package does not linger.
file(REMOVE_RECURSE ${dir} ${OUT}/swfsaver.zip)
file(MAKE_DIRECTORY ${dir})
file(COPY_FILE ${SCR} ${dir}/swfsaver.scr)
file(COPY_FILE ${DLL} ${dir}/swfstandin.dll)

# The text is read on Windows, where Notepad before Windows 10 shows LF-only
# files as one line.
file(READ ${TEXT} text)
string(REPLACE "\r\n" "\n" text "${text}")
string(REPLACE "\n" "\r\n" text "${text}")
file(WRITE ${dir}/INSTALL.txt "${text}")

# A fixed time stamp: the same sources give the same zip.
execute_process(
  COMMAND ${CMAKE_COMMAND} -E tar cf swfsaver.zip --format=zip "--mtime=2000-01-01 00:00:00 UTC"
          swfsaver/swfsaver.scr swfsaver/swfstandin.dll swfsaver/INSTALL.txt
  WORKING_DIRECTORY ${OUT}
  RESULT_VARIABLE rc)
if(NOT rc EQUAL 0)
  message(FATAL_ERROR "make_package: zip failed (${rc})")
endif()
