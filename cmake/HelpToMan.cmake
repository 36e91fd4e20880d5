# Writes a manual page from a program's --help and --version output, so that the two cannot
# drift apart. Run with cmake -P and:
#   PROGRAM      the program to ask
#   NAME         its name, e.g. pixamo-cli
#   SUMMARY      the one line of the NAME section
#   OUTPUT       the page to write, e.g. pixamo-cli.1
#
# The help text's shape: "Usage:" lines (the synopsis); "Heading:" lines that start a list;
# option lines "  -x, --long VALUE   description" whose description may go on in lines indented
# by more than two spaces; empty lines between paragraphs; everything else is running text.

cmake_minimum_required(VERSION 3.25)

foreach(var PROGRAM NAME SUMMARY OUTPUT)
  if(NOT DEFINED ${var})
    message(FATAL_ERROR "HelpToMan.cmake needs -D${var}=...")
  endif()
endforeach()

execute_process(COMMAND "${PROGRAM}" --help OUTPUT_VARIABLE help RESULT_VARIABLE status)
if(NOT status EQUAL 0)
  message(FATAL_ERROR "${PROGRAM} --help failed: ${status}")
endif()
execute_process(COMMAND "${PROGRAM}" --version OUTPUT_VARIABLE version OUTPUT_STRIP_TRAILING_WHITESPACE
                RESULT_VARIABLE status)
if(NOT status EQUAL 0)
  message(FATAL_ERROR "${PROGRAM} --version failed: ${status}")
endif()

# roff text: backslashes and hyphens escaped, a leading dot or quote made plain.
function(roff_text out text)
  string(REPLACE "\\" "\\e" text "${text}")
  string(REPLACE "-" "\\-" text "${text}")
  if(text MATCHES "^[.']")
    set(text "\\&${text}")
  endif()
  set(${out} "${text}" PARENT_SCOPE)
endfunction()

string(TOUPPER "${NAME}" title)
roff_text(summary "${SUMMARY}")
roff_text(versionText "${version}")
set(page ".TH ${title} 1 \"\" \"${versionText}\" \"User Commands\"\n.SH NAME\n${NAME} \\- ${summary}\n")

# CMake lists split at semicolons: keep them as text.
string(REPLACE ";" "\\;" help "${help}")
string(REPLACE "\n" ";" lines "${help}")

set(state synopsis)
set(inList FALSE)
set(inTable FALSE)
set(synopsis "")
set(body "")
foreach(line IN LISTS lines)
  if(state STREQUAL "synopsis")
    # One pattern: a second MATCHES in the same if() would clear CMAKE_MATCH_1.
    if(line MATCHES "^(Usage:|      ) (.*)$")
      roff_text(text "${CMAKE_MATCH_2}")
      string(APPEND synopsis "${text}\n")
      continue()
    endif()
    set(state text)
    string(APPEND body ".SH DESCRIPTION\n")
  endif()
  if(inTable AND NOT (NOT inList AND line MATCHES "^  [^ -]"))
    string(APPEND body ".fi\n")
    set(inTable FALSE)
  endif()
  if(line STREQUAL "")
    string(APPEND body ".PP\n")
    set(inList FALSE)
  elseif(line MATCHES "^  (-[^ ].*[^ ])   *([^ ].*)$")
    roff_text(option "${CMAKE_MATCH_1}")
    roff_text(text "${CMAKE_MATCH_2}")
    string(APPEND body ".TP\n.B ${option}\n${text}\n")
    set(inList TRUE)
  elseif(line MATCHES "^  (-[^ ].*)$")
    roff_text(option "${CMAKE_MATCH_1}")
    string(APPEND body ".TP\n.B ${option}\n")
    set(inList TRUE)
  elseif(NOT inList AND line MATCHES "^  ([^ ].*)$")
    # Indented lines of their own, such as the rows of a small table, are kept as they are.
    roff_text(text "${CMAKE_MATCH_1}")
    if(NOT inTable)
      string(APPEND body ".nf\n")
      set(inTable TRUE)
    endif()
    string(APPEND body "${text}\n")
  elseif(line MATCHES "^   *([^ ].*)$")
    roff_text(text "${CMAKE_MATCH_1}")
    string(APPEND body "${text}\n")
  elseif(line MATCHES "^([A-Z][^:]*):$")
    roff_text(text "${CMAKE_MATCH_1}")
    string(APPEND body ".SS ${text}\n")
  else()
    # Running text right after a list starts a paragraph of its own.
    if(inList)
      string(APPEND body ".PP\n")
      set(inList FALSE)
    endif()
    roff_text(text "${line}")
    string(APPEND body "${text}\n")
  endif()
endforeach()

if(inTable)
  string(APPEND body ".fi\n")
endif()
string(APPEND page ".SH SYNOPSIS\n.nf\n${synopsis}.fi\n${body}")
file(WRITE "${OUTPUT}" "${page}")
