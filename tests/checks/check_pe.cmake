# Reads a PE file's tables with objdump and checks them.
#   MODE=imports  the program imports only Windows system DLLs, never a compiler runtime DLL
#   MODE=exports  the stand-in port library exports "Out32" and "Inp32" undecorated
#   MODE=xp       Windows XP SP3 loads the program: subsystem version 5.01, and no import of a
#                 function that came later. The import table holds the C runtime's start-up
#                 code too, so it is checked with the rest.
execute_process(COMMAND ${OBJDUMP} -p ${FILE} OUTPUT_VARIABLE dump RESULT_VARIABLE result)
if(NOT result EQUAL 0)
    message(FATAL_ERROR "objdump failed on ${FILE}")
endif()

if(MODE STREQUAL "imports")
    set(allowed KERNEL32.dll USER32.dll GDI32.dll COMCTL32.dll OLE32.dll msvcrt.dll
                ADVAPI32.dll SHELL32.dll WINMM.dll)
    string(REGEX MATCHALL "DLL Name: [^\r\n]+" lines "${dump}")
    if(NOT lines)
        message(FATAL_ERROR "no import table found in ${FILE}")
    endif()
    foreach(line IN LISTS lines)
        string(REGEX REPLACE "DLL Name: " "" dll "${line}")
        string(STRIP "${dll}" dll)
        string(TOUPPER "${dll}" dll_upper)
        set(known FALSE)
        foreach(candidate IN LISTS allowed)
            string(TOUPPER "${candidate}" candidate_upper)
            if(dll_upper STREQUAL candidate_upper)
                set(known TRUE)
            endif()
        endforeach()
        if(NOT known)
            message(FATAL_ERROR "${FILE} imports ${dll}, which is not a Windows system DLL")
        endif()
        message(STATUS "imports ${dll}")
    endforeach()
elseif(MODE STREQUAL "exports")
    foreach(name Out32 Inp32)
        if(NOT dump MATCHES "\\] ${name}[\r\n]")
            message(FATAL_ERROR "${FILE} does not export the plain name ${name}")
        endif()
    endforeach()
    if(dump MATCHES "Out32@|Inp32@")
        message(FATAL_ERROR "${FILE} exports decorated stdcall names")
    endif()
elseif(MODE STREQUAL "xp")
    # Functions a Win32 program is likely to import that XP SP3 lacks (Vista and later). The
    # program fetches these at run time where it uses them, with a fallback.
    set(later_functions
        "^InitOnce" "SRWLock" "ConditionVariable" "^GetTickCount64$" "^CreateWaitableTimerEx"
        "^SetDefaultDllDirectories$" "^AddDllDirectory$" "^RemoveDllDirectory$" "^Fls"
        "^CompareStringEx$" "^GetLocaleInfoEx$" "^InitializeCriticalSectionEx$"
        "^Create(Event|Mutex|Semaphore)Ex" "^GetSystemTimePreciseAsFileTime$"
        "^(WaitOnAddress|WakeByAddress)")
    # XP's MSVCRT.dll has none of the "secure" _s functions.
    set(later_msvcrt_functions "_s$")

    set(version_fields MajorSubsystemVersion MinorSubsystemVersion MajorOSystemVersion
                       MinorOSystemVersion)
    foreach(field IN LISTS version_fields)
        if(NOT dump MATCHES "${field}[ \t]+([0-9]+)")
            message(FATAL_ERROR "${FILE}: objdump shows no ${field}")
        endif()
        set(${field} ${CMAKE_MATCH_1})
    endforeach()
    # XP's loader refuses a program that asks for a later system ("not a valid Win32
    # application"); 5.01 is XP.
    if(NOT MajorSubsystemVersion EQUAL 5 OR NOT MinorSubsystemVersion EQUAL 1 OR
       NOT MajorOSystemVersion EQUAL 5 OR NOT MinorOSystemVersion EQUAL 1)
        message(FATAL_ERROR "${FILE} asks for subsystem version "
                "${MajorSubsystemVersion}.${MinorSubsystemVersion} and system version "
                "${MajorOSystemVersion}.${MinorOSystemVersion}, not 5.1 (Windows XP)")
    endif()

    # objdump lists each DLL ("DLL Name: X") followed by its functions ("hint  name").
    string(REPLACE ";" "\\;" dump "${dump}")
    string(REPLACE "\n" ";" lines "${dump}")
    set(dll "")
    set(count 0)
    set(offending "")
    foreach(line IN LISTS lines)
        if(line MATCHES "DLL Name: ([^ \t\r]+)")
            string(TOUPPER "${CMAKE_MATCH_1}" dll)
        elseif(dll AND line MATCHES "^[ \t]+[0-9a-fA-F]+[ \t]+[0-9]+[ \t]+([A-Za-z_][A-Za-z0-9_@?$]*)")
            set(function ${CMAKE_MATCH_1})
            math(EXPR count "${count} + 1")
            set(patterns ${later_functions})
            if(dll STREQUAL "MSVCRT.DLL")
                list(APPEND patterns ${later_msvcrt_functions})
            endif()
            foreach(pattern IN LISTS patterns)
                if(function MATCHES "${pattern}")
                    list(APPEND offending "${dll}!${function}")
                endif()
            endforeach()
        elseif(line MATCHES "^[ \t]*$")
            set(dll "")
        endif()
    endforeach()
    if(count EQUAL 0)
        message(FATAL_ERROR "no imported functions found in ${FILE}")
    endif()
    if(offending)
        list(REMOVE_DUPLICATES offending)
        string(REPLACE ";" ", " offending "${offending}")
        message(FATAL_ERROR "${FILE} imports what Windows XP SP3 lacks: ${offending}")
    endif()
    message(STATUS "${count} imported functions, none later than Windows XP SP3; "
                   "subsystem version 5.1")
else()
    message(FATAL_ERROR "unknown MODE ${MODE}")
endif()
