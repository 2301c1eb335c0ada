# cmake -DNAME=... -DVERSION=... -DOUTPUT=DIR -DSTAGE=DIR -DPIN=EXE -DQXZLOG=EXE -DTEXT=FILE -P package.cmake
# Makes OUTPUT/NAME.zip holding the folder NAME: the two programs, README.txt
# (TEXT with the version, in Windows line ends) and SHA256SUMS of those three.
set(folder ${STAGE}/${NAME})
file(REMOVE_RECURSE ${folder})
file(MAKE_DIRECTORY ${folder})
file(COPY ${PIN} ${QXZLOG} DESTINATION ${folder})
configure_file(${TEXT} ${folder}/README.txt @ONLY NEWLINE_STYLE CRLF)

set(sums "")
foreach(name qxzpin14.exe qxzlog.exe README.txt)
  file(SHA256 ${folder}/${name} sum)
  string(APPEND sums "${sum}  ${name}\n")
endforeach()
file(WRITE ${folder}/SHA256SUMS "${sums}")

file(REMOVE ${OUTPUT}/${NAME}.zip)
execute_process(
  COMMAND ${CMAKE_COMMAND} -E tar cf ${OUTPUT}/${NAME}.zip --format=zip --
          ${NAME}/qxzpin14.exe ${NAME}/qxzlog.exe ${NAME}/README.txt ${NAME}/SHA256SUMS
  WORKING_DIRECTORY ${STAGE} RESULT_VARIABLE result)
if(NOT result EQUAL 0)
  message(FATAL_ERROR "could not make ${NAME}.zip: ${result}")
endif()
