# cmake -DPYTHON=... -DPACKAGE_ROOT=... -DOUTPUT=... -P scenario_schema.cmake
#
# Writes OUTPUT with what `python -m zel_sim schema` prints, running the
# control package from the sources under PACKAGE_ROOT. The command loads
# neither the simulator library nor a scenario: the generation needs only
# the interpreter and msgspec. The output is written whole or not at all.

# In front of what is there already: pip's isolated builds reach their
# build requirements (msgspec) through PYTHONPATH.
if(DEFINED ENV{PYTHONPATH} AND NOT "$ENV{PYTHONPATH}" STREQUAL "")
  set(ENV{PYTHONPATH} "${PACKAGE_ROOT}:$ENV{PYTHONPATH}")
else()
  set(ENV{PYTHONPATH} "${PACKAGE_ROOT}")
endif()

execute_process(
  COMMAND "${PYTHON}" -B -m zel_sim schema
  WORKING_DIRECTORY "${PACKAGE_ROOT}"
  OUTPUT_FILE "${OUTPUT}.tmp"
  ERROR_VARIABLE errors
  RESULT_VARIABLE status)
if(NOT status EQUAL 0)
  file(REMOVE "${OUTPUT}.tmp")
  message(FATAL_ERROR "python -m zel_sim schema failed (${status}):\n${errors}")
endif()
file(RENAME "${OUTPUT}.tmp" "${OUTPUT}")
