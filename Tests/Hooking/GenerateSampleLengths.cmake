# Disassembles the decoder samples with binutils and writes a header with one
# entry per sample label: QM_DECODER_SAMPLE(<label>, <length of the first
# instruction at the label>).
#   cmake -DOBJDUMP=... -DOBJECT=... -DOUTPUT=... -P GenerateSampleLengths.cmake
execute_process(COMMAND ${OBJDUMP} -d --insn-width=16 ${OBJECT}
                OUTPUT_VARIABLE listing RESULT_VARIABLE result)
if(NOT result EQUAL 0)
  message(FATAL_ERROR "objdump failed on ${OBJECT}")
endif()

string(REPLACE ";" "," listing "${listing}")
string(REPLACE "\n" ";" lines "${listing}")
set(label "")
set(entries "")
set(count 0)
foreach(line IN LISTS lines)
  if(line MATCHES "^[0-9a-f]+ <_(Sample_[0-9A-Za-z_]+)>:$")
    set(label "${CMAKE_MATCH_1}")
  elseif(label AND line MATCHES "^ *[0-9a-f]+:\t([0-9a-f ]+)\t")
    string(STRIP "${CMAKE_MATCH_1}" bytes)
    string(REPLACE " " ";" bytes "${bytes}")
    list(LENGTH bytes length)
    string(APPEND entries "QM_DECODER_SAMPLE(${label}, ${length})\n")
    math(EXPR count "${count} + 1")
    set(label "")
  endif()
endforeach()
if(count EQUAL 0)
  message(FATAL_ERROR "no samples found in the disassembly of ${OBJECT}")
endif()

file(WRITE ${OUTPUT}.tmp "// Generated from the binutils disassembly of DecoderSamples.S. Do not edit.\n${entries}")
file(COPY_FILE ${OUTPUT}.tmp ${OUTPUT} ONLY_IF_DIFFERENT)
