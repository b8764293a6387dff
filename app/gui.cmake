# Qt targets here run moc and rcc.
set(CMAKE_AUTOMOC ON)
set(CMAKE_AUTORCC ON)

# The tarvex executable.
add_executable(tarvex main.cpp reader_app.cpp)
target_link_libraries(tarvex PRIVATE tarvex_ui)
install(TARGETS tarvex RUNTIME DESTINATION bin)
