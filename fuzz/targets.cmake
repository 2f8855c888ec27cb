# Every fuzz target: name, source, libraries. Included by fuzz/CMakeLists.txt (libFuzzer builds)
# and by tests/fuzz/CMakeLists.txt (ordinary builds that replay the seed corpus and every input
# that once crashed, as regression tests).
tv_fuzz_target(fuzz_mfs_load fuzz_mfs_load.cpp tv_archive)
tv_fuzz_target(fuzz_mfs_session fuzz_mfs_session.cpp tv_archive)
tv_fuzz_target(fuzz_cabinet fuzz_cabinet.cpp tv_cabinet)
tv_fuzz_target(fuzz_resources fuzz_resources.cpp tv_cabinet)
tv_fuzz_target(fuzz_protocol fuzz_protocol.cpp tv_protocol)
tv_fuzz_target(fuzz_xml fuzz_xml.cpp tv_foundation)
tv_fuzz_target(fuzz_variables fuzz_variables.cpp tv_book)
tv_fuzz_target(fuzz_story fuzz_story.cpp tv_book)
tv_fuzz_target(fuzz_resources_map fuzz_resources_map.cpp tv_platform)
tv_fuzz_target(fuzz_host_request fuzz_host_request.cpp tv_hostrequest)
tv_fuzz_target(fuzz_epub_package fuzz_epub_package.cpp tv_importparse)
