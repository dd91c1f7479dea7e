" Vim syntax file for Kel scripts (.kel): C syntax without types, the
" preprocessor, and the built-in library's constants.
if exists("b:current_syntax")
  finish
endif

syn keyword kelStatement  if else switch case default while do for break continue goto return
syn keyword kelConstant   EOF SEEK_SET SEEK_CUR SEEK_END CDECL STDCALL PASCAL P_WAIT P_NOWAIT P_OVERLAY
syn keyword kelConstant   DISPATCH_METHOD DISPATCH_PROPERTYGET DISPATCH_PROPERTYPUT CLOCKS_PER_SEC
syn keyword kelConstant   INTERP_FILE INTERP_TEXT INTERP_NOINHERIT_LOCAL INTERP_NOINHERIT_GLOBAL INTERP_LOAD
syn keyword kelConstant   UWORD8 SWORD8 UWORD16 SWORD16 UWORD24 SWORD24 UWORD32 SWORD32 FLOAT32 FLOAT64 FLOAT80
syn keyword kelConstant   stdin stdout stderr _argc _argv
syn keyword kelTodo       contained TODO FIXME XXX
syn match   kelNumber     "\<\d\+\(\.\d*\)\=\([eE][-+]\=\d\+\)\=\>"
syn match   kelNumber     "\<0[xX]\x\+\>"
syn region  kelString     start=+"+ skip=+\\\\\|\\"+ end=+"+ oneline
syn region  kelString     start=+`+ skip=+\\\\\|\\`+ end=+`+ oneline
syn region  kelCharacter  start=+'+ skip=+\\\\\|\\'+ end=+'+ oneline
syn region  kelComment    start="/\*" end="\*/" contains=kelTodo,kelComment
syn match   kelComment    "//.*$" contains=kelTodo
syn match   kelPreProc    "^\s*#\s*\(include\|define\|undef\|ifdef\|ifndef\|else\|endif\|if\)\>"
syn match   kelFunction   "\<\h\w*\ze\s*("

hi def link kelStatement Statement
hi def link kelConstant  Constant
hi def link kelNumber    Number
hi def link kelString    String
hi def link kelCharacter Character
hi def link kelComment   Comment
hi def link kelTodo      Todo
hi def link kelPreProc   PreProc
hi def link kelFunction  Function

let b:current_syntax = "kel"
