# Creates an empty database from the schema, only when none is there yet, so a
# rebuild never wipes the rooms and records of a running installation.
if(NOT EXISTS "${DATABASE}")
  get_filename_component(dir "${DATABASE}" DIRECTORY)
  file(MAKE_DIRECTORY "${dir}")
  execute_process(COMMAND "${SQLITE3}" "${DATABASE}" ".read ${SCHEMA}" RESULT_VARIABLE rc)
  if(NOT rc EQUAL 0)
    file(REMOVE "${DATABASE}")
    message(FATAL_ERROR "Could not create ${DATABASE}")
  endif()
endif()
