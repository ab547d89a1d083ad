# Writes the header that describes this build: the checkout's git fields,
# the kernel and machine it was built on, and the time of the build. The
# header is rewritten only when the checkout or machine changed, so a
# rebuild of an unchanged checkout recompiles nothing.
#
# Usage: cmake -DSOURCE=dir -DOUTPUT=header -DBASENAME=path -DDOWNLOAD=text
#        -P build-info.cmake

function(git_field var)
  execute_process(COMMAND git -C ${SOURCE} ${ARGN} OUTPUT_VARIABLE out
                  RESULT_VARIABLE status ERROR_QUIET OUTPUT_STRIP_TRAILING_WHITESPACE)
  if(NOT status EQUAL 0)
    set(out "")
  endif()
  set(${var} "${out}" PARENT_SCOPE)
endfunction()

git_field(branch rev-parse --abbrev-ref HEAD)
git_field(commit rev-parse HEAD)
git_field(commit_date log -1 --format=%ct)
git_field(message log -1 --format=%B)
git_field(describe describe --tags --abbrev=0)
if(describe)
  git_field(ahead rev-list --count ${describe}..HEAD)
else()
  git_field(ahead rev-list --count HEAD)
endif()
if(NOT ahead)
  set(ahead 0)
endif()
if(NOT commit_date)
  set(commit_date 0)
endif()
execute_process(COMMAND uname -r OUTPUT_VARIABLE kernel OUTPUT_STRIP_TRAILING_WHITESPACE)
execute_process(COMMAND uname -m OUTPUT_VARIABLE machine OUTPUT_STRIP_TRAILING_WHITESPACE)
string(REGEX MATCH "^[0-9]+\\.[0-9]+" os_version "${kernel}")

# C++ raw string literals hold any message; the delimiter keeps a ")" in
# the message from ending it.
set(key "${branch}|${describe}|${ahead}|${commit}|${commit_date}|${os_version}|${machine}|${BASENAME}|${DOWNLOAD}")
string(MD5 key_digest "${key}|${message}")
if(EXISTS ${OUTPUT})
  file(STRINGS ${OUTPUT} first_line LIMIT_COUNT 1)
  if(first_line STREQUAL "// ${key_digest}")
    return()
  endif()
endif()
string(TIMESTAMP now "%s" UTC)
file(WRITE ${OUTPUT} "// ${key_digest}
// Generated at build time: what system/build tells about this build.
#pragma once
namespace kiv::build_info {
constexpr long long build_time = ${now};
constexpr const char* branch = R\"kiv(${branch})kiv\";
constexpr const char* tag = R\"kiv(${describe})kiv\";
constexpr int ahead = ${ahead};
constexpr long long commit_time = ${commit_date};
constexpr const char* commit = R\"kiv(${commit})kiv\";
constexpr const char* message = R\"kiv(${message})kiv\";
constexpr const char* os_version = R\"kiv(${os_version})kiv\";
constexpr const char* machine = R\"kiv(${machine})kiv\";
constexpr const char* basename = R\"kiv(${BASENAME})kiv\";
constexpr const char* download_address = R\"kiv(${DOWNLOAD})kiv\";
}
")
