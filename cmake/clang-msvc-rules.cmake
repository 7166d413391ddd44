# Link rules for the clang-msvc toolchain: lld-link with no default libraries
# and no manifest; every module names its import libraries and entry point.
foreach(lang C CXX)
  set(CMAKE_${lang}_CREATE_SHARED_LIBRARY
    "lld-link-19 /nologo /dll /nodefaultlib /manifest:no /debug /out:<TARGET> /implib:<TARGET_IMPLIB> /pdb:<TARGET_PDB> <LINK_FLAGS> <OBJECTS> <LINK_LIBRARIES>")
  set(CMAKE_${lang}_CREATE_SHARED_MODULE "${CMAKE_${lang}_CREATE_SHARED_LIBRARY}")
  set(CMAKE_${lang}_LINK_EXECUTABLE
    "lld-link-19 /nologo /nodefaultlib /manifest:no /debug /out:<TARGET> /pdb:<TARGET_PDB> <LINK_FLAGS> <OBJECTS> <LINK_LIBRARIES>")
endforeach()
