# Extracts the marked messages into a template and checks that each catalog
# has every one of them (msgcmp fails on any message a catalog lacks).
execute_process(COMMAND ${XGETTEXT} --language=C++ --from-code=UTF-8 --keyword=Msg
                        --keyword=MsgN:1,2 --omit-header -o ${OUT} ${SOURCES}
                RESULT_VARIABLE extracted)
if(NOT extracted EQUAL 0)
    message(FATAL_ERROR "xgettext failed")
endif()
foreach(lang ru)
    execute_process(COMMAND ${MSGCMP} ${PO_DIR}/${lang}.po ${OUT} RESULT_VARIABLE compared)
    if(NOT compared EQUAL 0)
        message(FATAL_ERROR "${lang}.po lacks messages (see above)")
    endif()
endforeach()
