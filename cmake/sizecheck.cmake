# Prints a stub's size and fails the build when it exceeds the stub region.
file(SIZE ${FILE} size)
get_filename_component(name ${FILE} NAME)
message(STATUS "${name}: ${size} bytes (limit ${LIMIT})")
if(size GREATER LIMIT)
  message(FATAL_ERROR "${name} is ${size} bytes: over the ${LIMIT}-byte stub region")
endif()
