" Kel scripts: files ending in .kel, and "#!" scripts run by VetraC32.
autocmd BufRead,BufNewFile *.kel setfiletype kel
autocmd BufRead,BufNewFile * if getline(1) =~# '^#!.*VetraC32' | setfiletype kel | endif
