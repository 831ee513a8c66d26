-- Default installation data of the notifier: what the system needs to tell
-- people about the arrays the analyzer knows out of the box. Operators add
-- users (qd_user) and their rules (qd_notify).
-- Every statement here can run again harmlessly.

-- An installed product is found by maker, product and serial: two rows for
-- one machine would make every lookup of it fail (and the message retry
-- for the whole retry limit), so the database refuses the second one.
create unique index if not exists qd_product_unique on qd_product (vendor, product, prod_id);

-- The local site. Without installed products (installation control 'N')
-- every machine of a product belongs to the site its attributes name.
insert into qd_site (site_id, site_number, site_name, site_nickname, status, timezone_name)
values (1, '1', 'Local site', 'local', 'Active', 'GMT')
on conflict do nothing;

-- The array (under both names its event files are catalogued with) and
-- the service processor itself: no installed-product list needed, site 1,
-- no grouping, no repeat suppression.
insert into qd_prod_attr (vendor, product, install_cntl, install_site_number)
values ('Zarvek', 'Velmar', 'N', '1'),
       ('Zarvek', 'VELMAR', 'N', '1'),
       ('Zarvek', 'SP', 'N', '1')
on conflict do nothing;

-- The global prime shift (owner -1): weekdays 08:00 to 17:00.
insert into qd_shift (owner, active_start, active_end, sunday_start, sunday_end,
                      monday_start, monday_end, tuesday_start, tuesday_end,
                      wednesday_start, wednesday_end, thursday_start, thursday_end,
                      friday_start, friday_end, saturday_start, saturday_end)
values (-1, '2000-01-01', '2100-01-01', null, null, '0800', '1700', '0800', '1700',
        '0800', '1700', '0800', '1700', '0800', '1700', null, null)
on conflict do nothing;

-- Pages travel as mail to the pager service's address.
insert into qd_pager_attr (type, transport, closed_loop)
values ('mail', 'mail', 'N')
on conflict do nothing;

-- Organisation groups: the maker's own service people, and customers.
-- The sort letter decides which type wins for a member of both.
insert into qd_orggroup (group_name, type)
values ('Service', 'aVQX'),
       ('Customers', 'bCUS')
on conflict do nothing;
