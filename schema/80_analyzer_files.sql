-- Default installation data of the analyzer: the array's files.
--
-- The collector asks for an analysis by identification, with vendor
-- "Zarvek", product "VELMAR" (as its requests spell it) and the file type
-- "event"; the analysis dispatch looks the type number up under that
-- vendor and product and the file type in upper case. Configuration files
-- of the array arrive the same way under the name "CONFIG".
--
-- The code columns say which differences between a stored file and what
-- the analyzer reads need no conversion ('*'). Both files are text, so the
-- machine architecture does not matter; a compressed file must still be
-- decompressed, and an encrypted file or another character set refused,
-- so those columns hold the codes the files are written with.
--
-- Loading this file again changes nothing: rows already present (also an
-- operator's own row for a type) are kept as they are.

insert into qd_fdb_attr (vendor, product, file_name, file_type, encription, compression, char_set, hw_architecture)
values ('Zarvek', 'VELMAR', 'EVENT', 100, '0', '0', 'A', '*'),
       ('Zarvek', 'VELMAR', 'CONFIG', 101, '0', '0', 'A', '*')
on conflict do nothing;
