-- The account database of the benchmark and the response comparison: one
-- user, "bench", whose password ("bench-password") is no longer the initial
-- one, and one session of that user, "bench-3f2a-1c9d-77e0", last used now.
create table sessions (id text primary key, login text, created_time int, access_time int,
  sticky int, attrs text);
create table users (login text primary key, pass text, created_time int, login_time int,
  passchange_time int, first_name text, surname text);
create table formtokens (token text primary key, used_time int);
create table signinfailures (login text primary key, failures int, first_time int,
  last_time int);
insert into users values ('bench', 'eec8e5ea8db9cd4258d66b198ae998773b77b7fc',
  strftime('%s', 'now'), strftime('%s', 'now'), strftime('%s', 'now'), null, null);
insert into sessions values ('bench-3f2a-1c9d-77e0', 'bench', strftime('%s', 'now'),
  strftime('%s', 'now'), 0, null);
