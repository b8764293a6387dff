# The table generator on a catalog with what po files hold: a fuzzy entry, an
# untranslated one, escapes, continuation lines, semicolons and brackets,
# plurals; and a context, which it must refuse.
#   cmake -DGENERATOR=cmake/po_to_table.cmake -DWORK=dir -P check_po_table.cmake
set(header "msgid \"\"\nmsgstr \"\"\n\"Plural-Forms: nplurals=3; plural=(n%10==1 && n%100!=11 ? 0 : n%10>=2 && n%10<=4 && (n%100<10 || n%100>=20) ? 1 : 2);\\n\"\n\n")
file(WRITE ${WORK}/sample.po "${header}"
    "#, fuzzy\nmsgid \"guessed\"\nmsgstr \"угадано\"\n\n"
    "msgid \"untranslated\"\nmsgstr \"\"\n\n"
    "#, c-format\nmsgid \"\"\n\"a \\\"quoted\\\" [x]; \"\n\"b\\\\n\"\nmsgstr \"\"\n\"а \\\"в кавычках\\\" [x]; \"\n\"б\\\\n\"\n\n"
    "msgid \"%d file\"\nmsgid_plural \"%d files\"\nmsgstr[0] \"%d файл\"\nmsgstr[1] \"%d файла\"\nmsgstr[2] \"%d файлов\"\n")
execute_process(COMMAND ${CMAKE_COMMAND} -DPO=${WORK}/sample.po -DOUT=${WORK}/sample.cpp
                        -DNAME=SAMPLE -P ${GENERATOR} RESULT_VARIABLE status)
if(NOT status EQUAL 0)
    message(FATAL_ERROR "the generator failed on a good catalog")
endif()
file(READ ${WORK}/sample.cpp table)
foreach(expected
        "{\"\" \"a \\\"quoted\\\" [x]; \" \"b\\\\n\", nullptr, {\"\" \"а \\\"в кавычках\\\" [x]; \" \"б\\\\n\", nullptr, nullptr}}"
        "{\"%d file\", \"%d files\", {\"%d файл\", \"%d файла\", \"%d файлов\"}}"
        "const MessageTable SAMPLE = {ENTRIES, 2};")
    string(FIND "${table}" "${expected}" at)
    if(at EQUAL -1)
        message(FATAL_ERROR "not in the table: ${expected}\n${table}")
    endif()
endforeach()
foreach(left_out "guessed" "untranslated")
    string(FIND "${table}" "${left_out}" at)
    if(NOT at EQUAL -1)
        message(FATAL_ERROR "in the table, but should not be: ${left_out}")
    endif()
endforeach()

file(WRITE ${WORK}/context.po "${header}msgctxt \"menu\"\nmsgid \"Open\"\nmsgstr \"Открыть\"\n")
execute_process(COMMAND ${CMAKE_COMMAND} -DPO=${WORK}/context.po -DOUT=${WORK}/context.cpp
                        -DNAME=SAMPLE -P ${GENERATOR} RESULT_VARIABLE status OUTPUT_QUIET ERROR_QUIET)
if(status EQUAL 0)
    message(FATAL_ERROR "a context was taken without its meaning")
endif()
