# The player's socket message reader; the app folder is not built for fuzzing,
# so its one Qt-free source comes in directly.
add_executable(fuzz_instance_message instance_message.cpp
               ${PROJECT_SOURCE_DIR}/src/app/instance_message.cpp)
target_include_directories(fuzz_instance_message PRIVATE ${PROJECT_SOURCE_DIR}/src/app)
target_link_libraries(fuzz_instance_message PRIVATE quillet_warnings)
target_link_options(fuzz_instance_message PRIVATE -fsanitize=fuzzer)
